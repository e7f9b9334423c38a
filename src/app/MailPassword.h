// Where a company's mail password is kept. With "Keep the password in the desktop keyring"
// on, the keyring holds it under the company's number and the data folder's full path (two
// data folders that both have a company 1 keep a password each) and the company record's
// password field stays empty; off, or without a keyring, the record holds it. The choice is kept
// per company in the INI file (section "E-Mail Password", the company number as key, 1 or 0);
// without an entry it is on when a keyring service answers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "data/IniFile.h"
#include "data/Records.h"
#include "platform/Keyring.h"

namespace invarro::app {

inline constexpr std::string_view kKeyringSection = "E-Mail Password";
inline constexpr std::string_view kKeyringOption = "Keep the password in the desktop keyring";

// The name a data folder's company has in the keyring: its number, a blank, and the
// folder's full path. The mail password and the sign-in tokens are kept under it.
std::string KeyringKey(const std::string& folder, std::string_view companyNo);

// The company's choice; keyring may be null (no keyring at all: off).
bool KeepPasswordInKeyring(const data::IniFile& ini, std::string_view companyNo,
                           platform::Keyring* keyring);

// The company's mail password. A password in the record's field is the one in force: with
// the option on the field is emptied whenever the keyring took the password, so a filled
// field is a record written before the password moved (or one whose keyring store failed).
// Otherwise, with the option on, the keyring's. Empty when there is none; *error tells
// when the keyring could not be asked. A password an earlier version stored under the
// company number alone is read, and kept under the folder's name from then on.
std::string MailPassword(const std::string& folder, const data::CompanyRecord& company,
                         platform::Keyring* keyring, bool keepInKeyring,
                         std::string* error = nullptr);
// The same with the company's choice read from the data folder's INI file.
std::string MailPassword(const std::string& folder, const data::CompanyRecord& company,
                         platform::Keyring* keyring, std::string* error = nullptr);

// The password for the mail login, exactly as typed and stored. With the company's
// password kept in the keyring, a keyring that does not answer (none given, no session
// bus as under cron), cannot be asked, or gives no password (locked, or holding none for
// the company) is an error: *error says so in a sentence with what to do, and no login
// is to be tried.
std::string LoginPassword(const std::string& folder, const data::CompanyRecord& company,
                          platform::Keyring* keyring, std::string* error);

// What saving the password did.
struct PasswordSaved {
    bool inKeyring = false;  // the keyring holds it and the record's field is empty
    std::string error;       // the keyring refused; the record holds the password
};

// Saving the e-mail settings. The record's password field holds the password as typed.
// Option on with a keyring: the keyring takes it (an empty password removes the keyring's)
// and the field is emptied; should the keyring refuse, the field keeps it. Option off, or
// no keyring: the field keeps it and a copy left in the keyring is removed. The choice is
// written to the INI file when one is given.
PasswordSaved SaveMailPassword(const std::string& folder, data::CompanyRecord& company,
                               bool keepInKeyring, platform::Keyring* keyring, data::IniFile* ini);

// After a company record has been written: "LastCo.Dat", when it holds the same company,
// takes the record's password field at once, so that no copy of the record - and so no
// backup made from here on - keeps a password the record no longer holds. True when the
// copy needed no change or was rewritten; false and *error when it could not be written.
bool SyncLastCompanyPassword(const std::string& folder, const data::CompanyRecord& written,
                             std::string* error = nullptr);

// A deleted company's password leaves the keyring with it.
void ForgetMailPassword(const std::string& folder, std::string_view companyNo,
                        platform::Keyring* keyring);

}  // namespace invarro::app
