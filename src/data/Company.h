// The company record's starting values and the checks of the company set-up dialog.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "data/Records.h"
#include "platform/Prompter.h"
#include "storage/Engine.h"

namespace invarro::data {

inline constexpr int kMaxCompanyNo = 32000;

// A new company: a copy of the company in use (its form, envelope, heading and a few
// other settings are kept) with every other setting at its starting value, numbered
// companyCount + 1 and with an empty name.
CompanyRecord NewCompanyRecord(const CompanyRecord& inUse, int companyCount);

// What the first company of a new installation inherits where later companies inherit
// from the company in use: captions, headings, form fonts and layout.
CompanyRecord FirstCompanyBase();

// The "Number copies:" entry as stored: "2" to "5" as typed, anything else "1".
std::string StoredNumCopies(std::string_view typed);

// The entries of the set-up dialog that its checks read. The checks write back the
// values they settle: an empty number or aging entry becomes "0", a valid number is
// written without blanks or leading zeros.
struct CompanySetupEntry {
    std::string eMailAddress;
    std::string name;
    std::string number;
    bool numberEnabled = true;  // adding a company
    std::string agingDays1;
    std::string agingDays2;
    std::string agingDays3;
};

enum class SetupField { EMailAddress, Name, Number, AgingDays1, AgingDays2, AgingDays3 };

struct SetupProblem {
    SetupField field;  // the control to focus
    std::string tab;   // the tab that holds it
    platform::Message message;
};

struct SetupCheck {
    std::optional<SetupProblem> problem;  // the first failed check
    bool reloadCompanyInUse = false;      // the dialog edits the company in use
    bool ok() const { return !problem; }
};

// The checks of the OK button, in their order; the first failure ends them.
// numberExists answers whether the company fileblock holds a company of that number.
SetupCheck CheckCompanySetup(CompanySetupEntry& entry, std::string_view numberInUse,
                             const std::function<bool(std::string_view)>& numberExists);

// Whether the company fileblock holds a company with this number (key 1).
bool CompanyNumberExists(storage::Fileblock* companies, std::string_view number);

}  // namespace invarro::data
