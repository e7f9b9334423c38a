// What the company windows need from the program around them, and the small pieces they
// share: window bounds in the INI file, company fonts as Qt fonts, and the event boundary
// that shows a failed operation and keeps the window usable.
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "data/Layout.h"
#include "data/ListColumns.h"
#include "data/Records.h"
#include "output/Font.h"
#include "platform/Clock.h"
#include "platform/Keyring.h"
#include "platform/OAuth.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"

class QAction;
class QBoxLayout;
class QHBoxLayout;
class QDialog;
class QDialogButtonBox;
class QLabel;
class QMenu;
class QObject;
class QPushButton;
class QStatusBar;
class QString;
class QToolButton;
class QVBoxLayout;

namespace invarro::storage {
struct Fileblock;
}

namespace invarro::ui {

class TIndexBrowser;

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
    // The keyring of mail sign-in tokens, the OAuth 2.0 client and the desktop's browser for
    // signing in with a provider; without them the sign-in is disabled.
    platform::Keyring* tokenKeyring = nullptr;
    platform::OAuthClient* oauth = nullptr;
    std::function<bool(const std::string& url)> openUrl;
};

// A company font as the windows draw with it, and back.
QFont QFontOf(const data::FontSetting& font);
QColor QColorOf(int32_t colour);
data::FontSetting FontSettingOf(const QFont& font, const QColor& colour);

// The room a window's own area has on its screen (its parent's screen, else the primary
// one): the work area less the title bar and frame the desktop adds, at least a usual
// title bar's height (before a window is mapped the desktop may report none).
QRect ClientArea(const QWidget* window);

// Places the window as its section of "invarro.ini" says (the designed size when there is
// none), moved back onto the screen's work area, and writes its bounds back.
void RestoreBounds(QWidget* window, const std::string& folder, std::string_view section,
                   int designedWidth, int designedHeight);
void SaveBounds(const QWidget* window, const std::string& folder, std::string_view section);
// Whether the window's section of "invarro.ini" holds its bounds.
bool HasStoredBounds(const std::string& folder, std::string_view section);

// Where a window of the wanted size opens the first time: at most the work area's size,
// centred on its parent's frame (on the work area without a parent), and moved inside the
// work area.
QRect FirstBounds(QSize wanted, const std::optional<QRect>& parent, const QRect& area);

// Places a manager window. With bounds in its section of "invarro.ini" they stand as they
// are (RestoreBounds). Without, the window is sized when it is first shown: wide enough for
// the list's header line and the window's own controls, tall enough for rows() rows of the
// list, never below the designed size nor above the work area, and centred on its parent.
void PlaceManagerWindow(QDialog* window, TIndexBrowser* list, const std::string& folder,
                        std::string_view section, int designedWidth, int designedHeight,
                        std::function<int()> rows);

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

// The foot row of a window that runs a job (the interest and repeat billing wizards): the
// job's button, disabled until there is something to run, then "&Cancel", which rejects
// the window, and "Help", which opens the topic and is disabled without help. The object
// names are given; the job's button is returned for the caller to connect.
struct ButtonNames {
    const char* action;  // the window's own button: OK, or the job's
    const char* cancel;
    const char* help;
};
QPushButton* AddRunButtons(QDialog* window, QBoxLayout* layout, const QString& runCaption,
                           const ButtonNames& names,
                           const std::function<void(const std::string&)>& openHelp,
                           const std::string& topic);

// The "&Ok", "&Cancel" and Help row at the foot of an entry editor, with the given object
// names and Help caption: OK is the default button and accepts the editor, Cancel rejects
// it; Help stays disabled until the editor is given help, and the caller connects it.
struct EditorButtons {
    QHBoxLayout* row = nullptr;
    QPushButton* help = nullptr;
};
EditorButtons MakeEditorButtons(QDialog* editor, const ButtonNames& names,
                                const QString& helpCaption);

// Runs a command; an operation error or a browser error is shown with its text.
void Guarded(platform::Prompter& prompter, const std::function<void()>& command);

// Runs an editor's save; an error it raises is shown under the window's title. False
// then, and the editor stays open.
bool SaveShowingErrors(QWidget* window, platform::Prompter& prompter,
                       const std::function<void()>& save);

// The OK of an entry editor: runs the check on the entry, then `shown` (which puts back
// into the editor what the check corrected); a problem's message is shown and its field
// (fieldFor) takes the focus. Then the save, as SaveShowingErrors. True when the editor
// may close. A check or save left empty is passed over.
template <class Entry, class Check, class Shown, class FieldFor, class Save>
bool CheckAndSave(QWidget* window, platform::Prompter& prompter, Entry& entry, const Check& check,
                  const Shown& shown, const FieldFor& fieldFor, const Save& save) {
    if (check) {
        const auto problem = check(entry);
        shown();
        if (problem) {
            prompter.ask(problem->message);
            fieldFor(problem->field)->setFocus();
            return false;
        }
    }
    return !save || SaveShowingErrors(window, prompter, [&] { save(entry); });
}

// The company's manager font (the lists of the manager windows; "Courier New" when none
// is set) and editor font (captions; "Arial" when none is set), size 10 when unset.
output::Font ManagerFont(const data::CompanyRecord& company);
output::Font EditorFont(const data::CompanyRecord& company);

// True when a printer can be used; otherwise the user is told so under the given title.
// With a document's name, a printer that prints to a file writes it as that name in the
// data folder's "pdf" folder. A print to a file that is there already asks first.
bool PrinterReady(platform::Prompter& prompter, const std::string& title,
                  const std::string& document = {}, const std::string& dataFolder = {});
// Whether a print may go to the printer's file: it prints on paper, the file is not there
// yet, or the user agrees to replace it.
bool MayReplacePrintFile(platform::Prompter& prompter, const std::string& title);
// "Document 1043 sent to Office-Laser.": the printer named as the print went to it, or
// "the printer" when it has no name.
std::string SentToPrinterText(const std::string& number, const std::string& printer);
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

// The pieces every manager window (customers, products, invoices) is built from.
//
// A modal, resizable dialog with the given object name.
void SetUpManagerDialog(QDialog* window, const char* objectName);
// The clock a window reads: the one given, else the computer's, kept alive in `own`.
void UseClockOrOwn(const platform::Clock*& clock, std::unique_ptr<platform::Clock>& own);
// Whether the company's manager font is one the user chose, not the one a new company
// starts with; the lists use the desktop's font otherwise.
bool ChoseListFont(const data::CompanyRecord& company);
// The font of the manager lists: the company's manager font where the user chose one, the
// desktop's font otherwise.
QFont ListFont(const data::CompanyRecord& company);
// A caption in the company's editor font and colour.
void ApplyEditorFont(QLabel* label, const data::CompanyRecord& company);
// The record list: the list font (ListFont) in the company's colour, its context menu left
// to the window, and typed letters upper-cased, as the keys are upper case.
void SetUpManagerList(TIndexBrowser* list, const char* objectName,
                      const data::CompanyRecord& company, platform::Prompter* prompter);
// The main layout: the menu bar, then the window's rows, close to the frame.
QVBoxLayout* MakeManagerLayout(QDialog* window);
// A named command that runs `run`; without one it is disabled (its window arrives with a
// later part of the program).
QAction* MakeCommand(QObject* owner, const char* name, const QString& text,
                     std::function<void()> run);
// "&Close", named "CloseAct": rejects the window.
QAction* MakeCloseCommand(QDialog* window);
// The list's right-click menu, named "PopupMenu"; the caller fills it.
QMenu* MakeListPopup(QWidget* owner, QWidget* list);
// Shows a file in a manager's list: a browser on the key reads each record into the
// window's buffer (record, size), row() makes the record's line from there, under the
// header, one field per column. A filter, if any, is set on the list before.
void AttachManagerList(TIndexBrowser* list, storage::Fileblock* fb, int keyNo, uint8_t* record,
                       size_t size, std::function<std::string()> row, std::string_view header,
                       std::vector<data::ListColumn> columns);
// A flat tool button that triggers the command and is enabled with it.
QToolButton* MakeCommandButton(QWidget* parent, const char* name, const QString& text,
                               const QString& hint, QAction* command);

// Names the buttons captioned with signs only ("...", ">>") by their hints, and leads every
// caption of a window ("Amount:") to the field beside it, as its buddy, so that
// screen readers name the field by it and the caption's Alt letter reaches it: the next
// cell of its grid row, the field of its form row, or the next item of its row. A caption
// that stands for several fields (the lines of an address) names the further ones after it,
// numbered. Captions that already lead somewhere and fields that have a name stay as they
// are.
void LabelFields(QWidget* window);
// A dialog that does not fit its screen's room (ClientArea) keeps its last row (the OK and
// Cancel buttons, or the status bar) in view and scrolls the rest; it is then sized and
// placed inside the room. A dialog that fits, and a manager window (sized around its list),
// is only moved and shrunk into the room.
void FitDialogToScreen(QDialog* dialog);
// Does both for every window of the program as it is first shown.
void LabelFieldsOfEveryWindow();

// A file chosen in a data folder is kept by its bare name, so that the folder can move.
std::string StoredPictureName(const std::string& folder, const QString& chosen);

}  // namespace invarro::ui
