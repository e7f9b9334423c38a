#include "app/MailPassword.h"

#include <algorithm>
#include <filesystem>

#include "data/Fileblocks.h"
#include "data/SideFiles.h"

namespace invarro::app {

namespace {

using data::Company;

std::string NumberOf(const data::CompanyRecord& company) {
    return data::CompanyPrefix(company.text(Company::CompanyNo));
}

// The password under the folder's name; one an earlier version kept under the company
// number alone is copied there when found. The old entry stays for another data folder
// that used it, until a password is saved or removed here.
std::optional<std::string> LookupPassword(const std::string& folder, const std::string& number,
                                          platform::Keyring& keyring, std::string* error) {
    std::string why;
    std::optional<std::string> found = keyring.lookup(KeyringKey(folder, number), &why);
    if (found || !why.empty()) {
        if (error && !why.empty()) *error = why;
        return found;
    }
    found = keyring.lookup(number, &why);
    if (!found) {
        if (error && !why.empty()) *error = why;
        return found;
    }
    keyring.store(KeyringKey(folder, number), *found);
    return found;
}

}  // namespace

std::string KeyringKey(const std::string& folder, std::string_view companyNo) {
    std::error_code failed;
    const std::filesystem::path full = std::filesystem::weakly_canonical(folder, failed);
    return data::CompanyPrefix(companyNo) + " " + (failed ? folder : full.string());
}

bool KeepPasswordInKeyring(const data::IniFile& ini, std::string_view companyNo,
                           platform::Keyring* keyring) {
    if (!keyring) return false;
    const std::string number = data::CompanyPrefix(companyNo);
    if (!number.empty() && ini.read(kKeyringSection, number))
        return ini.readInteger(kKeyringSection, number, 0) != 0;
    return keyring->available();
}

std::string MailPassword(const std::string& folder, const data::CompanyRecord& company,
                         platform::Keyring* keyring, bool keepInKeyring, std::string* error) {
    std::string inRecord = company.text(Company::EMailPassword);
    if (!inRecord.empty() || !keepInKeyring || !keyring) return inRecord;
    const std::string number = NumberOf(company);
    if (number.empty()) return {};
    return LookupPassword(folder, number, *keyring, error).value_or(std::string());
}

std::string MailPassword(const std::string& folder, const data::CompanyRecord& company,
                         platform::Keyring* keyring, std::string* error) {
    const data::IniFile ini(data::IniFilePath(folder));
    return MailPassword(folder, company, keyring,
                        KeepPasswordInKeyring(ini, NumberOf(company), keyring), error);
}

std::string LoginPassword(const std::string& folder, const data::CompanyRecord& company,
                          platform::Keyring* keyring, std::string* error) {
    const std::string inRecord = company.text(Company::EMailPassword);
    if (!inRecord.empty()) return inRecord;
    const std::string number = NumberOf(company);
    const data::IniFile ini(data::IniFilePath(folder));
    // The company's own choice counts even when no keyring answers now: that is exactly
    // when the password cannot be had.
    const bool chosen = !number.empty() && ini.read(kKeyringSection, number)
                            ? ini.readInteger(kKeyringSection, number, 0) != 0
                            : keyring && keyring->available();
    if (!chosen || number.empty()) return inRecord;
    const std::string advice =
        " Unlock the desktop keyring (log in to the desktop; a cron job or a remote shell has "
        "no keyring of its own), or keep the password in the company record instead: untick "
        "\"" +
        std::string(kKeyringOption) +
        "\" on the E-Mail tab of Company Options and type the password again.";
    auto fail = [&](const std::string& what) {
        if (error) *error = what + advice;
        return std::string();
    };
    if (!keyring || !keyring->available())
        return fail("The desktop keyring did not answer, so the mail password of company " +
                    number + " could not be read and no login was tried.");
    std::string why;
    const std::optional<std::string> found = LookupPassword(folder, number, *keyring, &why);
    if (!found && !why.empty())
        return fail("The desktop keyring did not give the mail password of company " + number +
                    " (" + why + "), so no login was tried.");
    if (!found)
        return fail("The desktop keyring gave no mail password for company " + number +
                    ": it is locked, or holds none for this company. No login was tried.");
    return *found;
}

PasswordSaved SaveMailPassword(const std::string& folder, data::CompanyRecord& company,
                               bool keepInKeyring, platform::Keyring* keyring, data::IniFile* ini) {
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
    const std::string key = KeyringKey(folder, number);
    // An entry of an earlier version under the number alone would come back on the next
    // read: the password saved now replaces it.
    keyring->erase(number);
    if (!keepInKeyring) {
        // The record holds it now; no second copy stays behind in the keyring.
        keyring->erase(key, &why);
        return saved;
    }
    const bool done = typed.empty() ? keyring->erase(key, &why) : keyring->store(key, typed, &why);
    if (!done) {
        saved.error = why.empty() ? "the keyring did not answer" : why;
        return saved;
    }
    company.setText(Company::EMailPassword, "");
    saved.inKeyring = true;
    return saved;
}

bool SyncLastCompanyPassword(const std::string& folder, const data::CompanyRecord& written,
                             std::string* error) {
    std::optional<data::CompanyRecord> copy = data::ReadLastCompany(folder);
    if (!copy || data::CompanyPrefix(copy->text(Company::CompanyNo)) != NumberOf(written))
        return true;
    const data::FieldDef& field = Company::kFields[size_t(Company::EMailPassword_)];
    const auto* a = copy->data() + field.offset;
    const auto* b = written.data() + field.offset;
    if (std::equal(a, a + data::FieldSize(field), b)) return true;
    copy->setText(Company::EMailPassword, written.text(Company::EMailPassword));
    return data::WriteLastCompany(folder, *copy, error);
}

void ForgetMailPassword(const std::string& folder, std::string_view companyNo,
                        platform::Keyring* keyring) {
    const std::string number = data::CompanyPrefix(companyNo);
    if (!keyring || number.empty()) return;
    keyring->erase(KeyringKey(folder, number));
    keyring->erase(number);
}

}  // namespace invarro::app
