// The company set-up dialog ("Company Options") without its window: which control edits
// which field of the company record and how its entry is stored, the checks of the
// "&Save" button, the help topic of each tab, and the same for the "Headers, Fonts and
// Colors" dialog that the form settings open.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "data/Company.h"
#include "data/Records.h"
#include "platform/Prompter.h"

namespace invarro::app {

// The tabs of the dialog, in their order.
inline constexpr std::string_view kTabAddress = "Address/Taxes";
inline constexpr std::string_view kTabEMail = "E-Mail";
inline constexpr std::string_view kTabEnvelopes = "Envelopes/Aging";
inline constexpr std::string_view kTabForms = "Forms Setup";
inline constexpr std::string_view kTabGeneral = "General";
inline constexpr std::string_view kTabInvoices = "Invoices";
inline constexpr std::string_view kTabSalesMessage = "Sales Message";
inline constexpr std::string_view kTabGraphics = "System Graphics";
inline constexpr std::string_view kSetupTabs[] = {kTabAddress,      kTabEMail,   kTabEnvelopes,
                                                  kTabForms,        kTabGeneral, kTabInvoices,
                                                  kTabSalesMessage, kTabGraphics};

// The help topic the Help button opens on a tab.
std::string_view SetupHelpTopic(std::string_view tab);
inline constexpr std::string_view kHeaderHelpTopic = "Form Setup Options";

// How a control's entry becomes the stored value, and the stored value the entry.
enum class SetupRule {
    Text,          // as typed, cut to the field's width
    Trimmed,       // blanks at both ends removed
    TaxRate,       // trimmed; empty is "0.000"
    AgingDays,     // trimmed; empty is "0"
    NumCopies,     // "2" to "5" as typed, anything else "1"
    ZeroIfEmpty,   // trimmed; empty is "0"
    EightIfEmpty,  // trimmed; empty is "8"
    Port,          // trimmed; an empty stored value is shown as "25"
    ByteBox,       // check box: byte 1 or 0
    YesNoBox,      // check box: "Y" or "N"
    LetterBox,     // check box: `on` when ticked, else `off`
    RadioPair,     // two radio buttons: `on` when the first is ticked, else `off`
    LineStyle,     // "dots" is "D", "solid" is "L"
};

struct SetupControl {
    std::string_view name;  // the control's name (its Qt object name)
    int field;              // index into data::Company::kFields
    SetupRule rule;
    std::string_view tab;       // empty for the headers dialog
    int maxLength = 0;          // characters the control takes; 0: the field's width
    bool digitsOnly = false;    // the control takes digits only
    std::string_view on{};      // LetterBox, RadioPair: the stored value when ticked
    std::string_view off{};     // ... and when not
    std::string_view second{};  // RadioPair: the name of the other radio button

    bool isBox() const {
        return rule == SetupRule::ByteBox || rule == SetupRule::YesNoBox ||
               rule == SetupRule::LetterBox || rule == SetupRule::RadioPair;
    }
    // The characters the control takes.
    int limit() const;
};

// The controls of the set-up dialog that edit one field each. (The three font buttons and
// the two bitmap buttons write their fields directly.)
std::span<const SetupControl> CompanySetupControls();
// The caption and heading fields of the headers dialog.
std::span<const SetupControl> HeaderControls();
const SetupControl* FindSetupControl(std::string_view name);

inline constexpr std::string_view kLineStyleDots = "dots";
inline constexpr std::string_view kLineStyleSolid = "solid";
inline constexpr std::string_view kQuoteCaptionProposal = "Q U O T E";

// The entries of a set of controls: the text of every edit and choice, the state of
// every check box and radio button (both of a pair).
struct ControlValues {
    std::map<std::string, std::string, std::less<>> text;
    std::map<std::string, bool, std::less<>> checked;

    std::string textOf(std::string_view name) const;
    bool isChecked(std::string_view name) const;
};

ControlValues LoadControls(std::span<const SetupControl> controls,
                           const data::CompanyRecord& record);
// Stores every control as its rule says. Text is cut to the field's width.
void StoreControls(std::span<const SetupControl> controls, const ControlValues& values,
                   data::CompanyRecord& record);

// The font settings the set-up dialog's font buttons edit.
enum class SetupFont { Editor, Manager, Envelope };
data::FontSetting ReadSetupFont(const data::CompanyRecord& record, SetupFont which);
void WriteSetupFont(data::CompanyRecord& record, SetupFont which, const data::FontSetting& font);

// The six form fonts of the headers dialog, FormFonts1..6, and their buttons' captions.
inline constexpr int kFormFontCount = 6;
std::string_view FormFontCaption(int index);  // 0..5
data::FontSetting ReadFormFont(const data::CompanyRecord& record, int index);
void WriteFormFont(data::CompanyRecord& record, int index, const data::FontSetting& font);

// A picture named by a record: absolute, or relative to the data folder.
std::string PicturePath(const std::string& folder, std::string_view name);

// What "&Save" found.
struct SetupSaveResult {
    bool ok = false;
    // The failed check: its message, the control to focus and the tab that holds it.
    std::optional<platform::Message> message;
    std::string focusControl;
    std::string tab;
    // The dialog edited the company in use: the main window re-loads it afterwards.
    bool reloadCompanyInUse = false;
};

// One opening of the set-up dialog: the record being edited, the choices the window
// shows, and the checks and storing of "&Save".
class CompanySetupForm {
  public:
    enum class Mode { Add, Edit };

    // record: the new company's starting values (Add) or the company as read (Edit).
    // numberInUse: the number of the company in use. numberExists: whether the company file
    // holds a company of a number (asked only when adding).
    CompanySetupForm(Mode mode, const data::CompanyRecord& record, std::string numberInUse,
                     std::function<bool(std::string_view)> numberExists);

    Mode mode() const { return mode_; }
    // "New Company" or "Edit Company".
    std::string_view title() const;
    bool numberEditable() const { return mode_ == Mode::Add; }

    // The record as the dialog holds it: the font buttons and the headers dialog change it
    // directly; "&Save" stores the controls into it.
    data::CompanyRecord& working() { return working_; }
    const data::CompanyRecord& working() const { return working_; }

    // The entries the dialog starts with.
    ControlValues initialValues() const;

    // Edit: the background bitmap named in the record no longer exists in the folder.
    bool backgroundMissing(const std::string& folder) const;
    static platform::Message BackgroundMissingMessage();

    // The checks of "&Save" in their order, then the storing of every control into the
    // working record. values gets the entries the checks settle (an empty number or aging
    // entry becomes "0", the number is written without blanks or leading zeros).
    SetupSaveResult save(ControlValues& values);

  private:
    Mode mode_;
    data::CompanyRecord working_;
    std::string numberInUse_;
    std::function<bool(std::string_view)> numberExists_;
};

// The "Headers, Fonts and Colors" dialog: the captions and headings of the record, the six
// form fonts, and the two colours of the colour files.
struct HeaderColours {
    int32_t shading = 0;  // "Shadeclr.fnt"
    int32_t box = 0;      // "InvBoxClr.fnt"
};
HeaderColours ReadHeaderColours(const std::string& folder);
// Deletes and rewrites both colour files. False and *error when one cannot be written.
bool WriteHeaderColours(const std::string& folder, const HeaderColours& colours,
                        std::string* error = nullptr);

}  // namespace invarro::app
