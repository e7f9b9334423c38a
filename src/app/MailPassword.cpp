#include "app/MailPassword.h"

#include "data/Fileblocks.h"

namespace invarro::app {

namespace {

using data::Company;

std::string NumberOf(const data::CompanyRecord& company) {
    return data::CompanyPrefix(company.text(Company::CompanyNo));
}

}  // namespace

bool KeepPasswordInKeyring(const data::IniFile& ini, std::string_view companyNo,
                           platform::Keyring* keyring) {
    if (!keyring) return false;
    const std::string number = data::CompanyPrefix(companyNo);
    if (!number.empty() && ini.read(kKeyringSection, number))
        return ini.readInteger(kKeyringSection, number, 0) != 0;
    return keyring->available();
}

std::string MailPassword(const data::CompanyRecord& company, platform::Keyring* keyring,
                         bool keepInKeyring, std::string* error) {
    std::string inRecord = company.text(Company::EMailPassword);
    if (!inRecord.empty() || !keepInKeyring || !keyring) return inRecord;
    const std::string number = NumberOf(company);
    if (number.empty()) return {};
    return keyring->lookup(number, error).value_or(std::string());
}

std::string MailPassword(const std::string& folder, const data::CompanyRecord& company,
                         platform::Keyring* keyring, std::string* error) {
    const data::IniFile ini(data::IniFilePath(folder));
    return MailPassword(company, keyring, KeepPasswordInKeyring(ini, NumberOf(company), keyring),
                        error);
}

PasswordSaved SaveMailPassword(data::CompanyRecord& company, bool keepInKeyring,
                               platform::Keyring* keyring, data::IniFile* ini) {
    PasswordSaved saved;
    const std::string number = NumberOf(company);
    if (ini && keyring && !number.empty()) {
        std::string why;
        if (!ini->writeInteger(kKeyringSection, number, keepInKeyring ? 1 : 0, &why))
            saved.error = why;
    }
    if (!keyring || number.empty()) return saved;
    const std::string typed = company.text(Company::EMailPassword);
    // Written afresh: whatever a longer earlier password left in the field is cleared.
    company.setText(Company::EMailPassword, typed);
    std::string why;
    if (!keepInKeyring) {
        // The record holds it now; no second copy stays behind in the keyring.
        keyring->erase(number, &why);
        return saved;
    }
    const bool done =
        typed.empty() ? keyring->erase(number, &why) : keyring->store(number, typed, &why);
    if (!done) {
        saved.error = why.empty() ? "the keyring did not answer" : why;
        return saved;
    }
    company.setText(Company::EMailPassword, "");
    saved.inKeyring = true;
    return saved;
}

void ForgetMailPassword(std::string_view companyNo, platform::Keyring* keyring) {
    const std::string number = data::CompanyPrefix(companyNo);
    if (keyring && !number.empty()) keyring->erase(number);
}

}  // namespace invarro::app
