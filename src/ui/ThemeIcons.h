// The icons of the windows' commands, taken from the desktop's icon theme by their
// freedesktop names. Where the desktop's theme lacks a name, the fallback theme installed
// with the program ("breeze") supplies it, so the icons show on any desktop.
#pragma once

#include <initializer_list>
#include <span>
#include <string_view>
#include <utility>

#include <QIcon>

class QAction;
class QToolButton;

namespace invarro::ui {

inline constexpr const char* kFallbackIconTheme = "breeze";

// One command of the windows and the theme icon that stands for it.
struct CommandIconName {
    std::string_view command;
    const char* iconName;
};

// Every command that has a theme icon, once.
std::span<const CommandIconName> CommandIconNames();

// Makes the icon theme usable before the first window is built: the fallback theme, and
// the icon folders of the XDG data folders and of the program's own prefix on the search
// path. Without a desktop (no theme named) the default theme "hicolor" is used, which
// falls back as every theme does.
void SetUpIconTheme();

// The theme icon of a command; fallback when the command has none or no theme holds it.
QIcon CommandIcon(std::string_view command, const QIcon& fallback = QIcon());

// Puts a command's theme icon on a menu command or on a tool button. A button that showed
// its caption alone shows it beside the icon, so the caption stays.
void SetCommandIcon(QAction* action, std::string_view command);
void SetCommandIcon(QToolButton* button, std::string_view command);
void SetCommandIcons(std::initializer_list<std::pair<QAction*, std::string_view>> actions);
// A tool button that triggers an action takes the action's icon the same way.
void ShowActionIcon(QToolButton* button, const QAction* action);

// The program's own scalable icon, from the theme (the installed copy) or, when the theme
// does not hold it, from the program's resources.
QIcon ApplicationIcon();
inline constexpr const char* kApplicationId = "org.invarro.Invarro";

}  // namespace invarro::ui
