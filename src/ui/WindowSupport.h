// What the company windows need from the program around them, and the small pieces they
// share: window bounds in the INI file, company fonts as Qt fonts, and the event boundary
// that shows a failed operation and keeps the window usable.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

#include "data/Layout.h"
#include "data/Records.h"
#include "output/Font.h"
#include "platform/Clock.h"
#include "platform/Keyring.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"

class QDialog;
class QDialogButtonBox;
class QLabel;
class QPushButton;
class QStatusBar;
class QString;
class QWidget;

namespace invarro::ui {

struct WindowServices {
    std::string folder;  // the data folder
    platform::Prompter* prompter = nullptr;
    platform::Progress* progress = nullptr;  // the status window of long runs
    const platform::Clock* clock = nullptr;
    // Opens a help topic; without it the windows' Help commands are disabled.
    std::function<void(const std::string& topic)> help;
    // The password check before a company is deleted (passes when there is no password).
    std::function<bool()> passwordCheck;
    // The desktop keyring for the mail passwords; none: they stay in the company records.
    platform::Keyring* keyring = nullptr;
};

// A company font as the windows draw with it, and back.
QFont QFontOf(const data::FontSetting& font);
QColor QColorOf(int32_t colour);
data::FontSetting FontSettingOf(const QFont& font, const QColor& colour);

// Places the window as its section of "invarro.ini" says (the designed size when there is
// none), moved back onto the screen's work area, and writes its bounds back.
void RestoreBounds(QWidget* window, const std::string& folder, std::string_view section,
                   int designedWidth, int designedHeight);
void SaveBounds(const QWidget* window, const std::string& folder, std::string_view section);

// The OK, Cancel and Help buttons at the foot of a dialog, named "OKBtn", "CancelBtn" and
// "HelpBtn". Cancel rejects the dialog; Help calls onHelp and is disabled without it; the
// caller connects box->accepted.
struct DialogButtons {
    QDialogButtonBox* box = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    QPushButton* help = nullptr;
};
DialogButtons MakeDialogButtons(QDialog* dialog, const QString& okCaption,
                                std::function<void()> onHelp);

// Runs a command; an operation error or a browser error is shown with its text.
void Guarded(platform::Prompter& prompter, const std::function<void()>& command);

// The company's manager font (the lists of the manager windows; "Courier New" when none
// is set) and editor font (captions; "Arial" when none is set), size 10 when unset.
output::Font ManagerFont(const data::CompanyRecord& company);
output::Font EditorFont(const data::CompanyRecord& company);

// True when a printer can be used; otherwise the user is told so under the given title.
bool PrinterReady(platform::Prompter& prompter, const std::string& title);
// "Print Window": the window's image printed across the page, keeping its proportions.
void PrintWindowImage(QWidget* window, platform::Prompter& prompter);

// The status bar of a manager window: the record-count panel and the message panel that
// takes the rest of the width.
struct ManagerStatusBar {
    QStatusBar* bar = nullptr;
    QLabel* count = nullptr;
    QLabel* message = nullptr;
};
ManagerStatusBar MakeManagerStatusBar(QWidget* window, int countWidth);

// A file chosen in a data folder is kept by its bare name, so that the folder can move.
std::string StoredPictureName(const std::string& folder, const QString& chosen);

}  // namespace invarro::ui
