// Checks a window against what its users need from it, as the desktop sees it: every
// control has a name a screen reader can say, every field a label, and the window fits
// the screen's work area with every button in view. The gallery runs them over every
// window of the program; each problem is one line naming the window and the control.
#pragma once

#include <QRect>
#include <string>
#include <vector>

class QAbstractButton;
class QToolBar;
class QWidget;

namespace invarro::ui {

// Controls (buttons, boxes, lists, tables, fields) the accessibility tree offers without a
// name, and fields (text, number, date and combo boxes) that have neither a label leading
// to them (a buddy) nor a name of their own. A tool bar's overflow button is checked also
// while the window is wide enough to hide it.
std::vector<std::string> AccessibilityProblems(QWidget* window);

// The button Qt gives a tool bar for the tools there is no room for (hidden while they all
// fit); null when the tool bar has none.
QAbstractButton* ToolBarOverflowButton(QToolBar* bar);

// A window not inside the work area once its frame (frame: the title bar and borders the
// desktop adds) is counted, and visible buttons that are cut off by the window's edge.
std::vector<std::string> PlacementProblems(QWidget* window, const QRect& workArea, int frame);

}  // namespace invarro::ui
