// Where the mail password is kept: the keyring with the option on, the company record with
// it off or without a keyring, and a password still in an older record.

#include <gtest/gtest.h>

#include "app/MailPassword.h"
#include "data/Company.h"
#include "data/Files.h"
#include "data/SideFiles.h"
#include "support/MemoryKeyring.h"
#include "support/TempDir.h"

namespace invarro::app {
namespace {

using data::Company;
using data::CompanyRecord;
using testing::MemoryKeyring;

CompanyRecord WithPassword(std::string_view number, std::string_view password) {
    CompanyRecord r = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
    r.setText(Company::CompanyNo, number);
    r.setText(Company::EMailPassword, password);
    return r;
}

class MailPasswordTest : public ::testing::Test {
  protected:
    testing::TempDir dir;
    MemoryKeyring keyring;
    data::IniFile ini{data::IniFilePath(dir.path())};

    data::IniFile reread() const { return data::IniFile(data::IniFilePath(dir.path())); }
    std::string key(std::string_view number) const { return KeyringKey(dir.path(), number); }
};

TEST_F(MailPasswordTest, OptionOnMovesThePasswordIntoTheKeyringAndEmptiesTheField) {
    CompanyRecord r = WithPassword("12", "s3cret");
    const PasswordSaved saved = SaveMailPassword(dir.path(), r, true, &keyring, &ini);
    EXPECT_TRUE(saved.inKeyring);
    EXPECT_TRUE(saved.error.empty());
    EXPECT_EQ(keyring.secrets.at(key("12")), "s3cret");
    EXPECT_EQ(r.text(Company::EMailPassword), "");
    // Nothing of it is left in the record's bytes.
    const std::string bytes(reinterpret_cast<const char*>(r.data()), r.size());
    EXPECT_EQ(bytes.find("s3cret"), std::string::npos);
    // The choice is remembered, and the password is read back from the keyring.
    EXPECT_TRUE(KeepPasswordInKeyring(reread(), "12", &keyring));
    EXPECT_EQ(MailPassword(dir.path(), r, &keyring), "s3cret");
}

TEST_F(MailPasswordTest, OptionOffKeepsThePasswordInTheRecordAndClearsTheKeyringCopy) {
    keyring.secrets[key("12")] = "old one";
    // Typed over a longer password: none of the longer one's characters stay behind.
    CompanyRecord r = WithPassword("12", "a much longer password");
    r.setText(Company::EMailPassword, "new one");
    const PasswordSaved saved = SaveMailPassword(dir.path(), r, false, &keyring, &ini);
    EXPECT_FALSE(saved.inKeyring);
    EXPECT_EQ(r.text(Company::EMailPassword), "new one");
    EXPECT_FALSE(keyring.secrets.contains(key("12")));
    const std::string bytes(reinterpret_cast<const char*>(r.data()), r.size());
    EXPECT_EQ(bytes.find("password"), std::string::npos);
    EXPECT_FALSE(KeepPasswordInKeyring(reread(), "12", &keyring));
    keyring.lookups = 0;
    EXPECT_EQ(MailPassword(dir.path(), r, &keyring), "new one");
    EXPECT_EQ(keyring.lookups, 0);
}

TEST_F(MailPasswordTest, OldRecordIsReadAndMovedAtTheNextSaveWithTheOptionOn) {
    // Written before the keyring was used: no choice in the INI file, the field filled.
    CompanyRecord r = WithPassword("3", "from 2019");
    EXPECT_TRUE(KeepPasswordInKeyring(ini, "3", &keyring));
    EXPECT_EQ(MailPassword(dir.path(), r, &keyring), "from 2019");
    EXPECT_TRUE(SaveMailPassword(dir.path(), r, true, &keyring, &ini).inKeyring);
    EXPECT_EQ(r.text(Company::EMailPassword), "");
    EXPECT_EQ(MailPassword(dir.path(), r, &keyring), "from 2019");
}

TEST_F(MailPasswordTest, WithoutAKeyringTheRecordHoldsThePassword) {
    CompanyRecord r = WithPassword("12", "plain");
    // No keyring at all: the option is off whatever was chosen before.
    ASSERT_TRUE(ini.writeInteger(kKeyringSection, "12", 1));
    EXPECT_FALSE(KeepPasswordInKeyring(ini, "12", nullptr));
    EXPECT_FALSE(SaveMailPassword(dir.path(), r, true, nullptr, &ini).inKeyring);
    EXPECT_EQ(r.text(Company::EMailPassword), "plain");
    EXPECT_EQ(MailPassword(dir.path(), r, nullptr), "plain");
    // A keyring that does not answer: off unless chosen.
    keyring.answers = false;
    EXPECT_FALSE(KeepPasswordInKeyring(data::IniFile(dir.file("other.ini")), "12", &keyring));
}

TEST_F(MailPasswordTest, ARefusedStoreLeavesThePasswordInTheRecordAndItWinsOverAnOldCopy) {
    keyring.secrets[key("12")] = "stale";
    keyring.refuseStore = true;
    CompanyRecord r = WithPassword("12", "fresh");
    const PasswordSaved saved = SaveMailPassword(dir.path(), r, true, &keyring, &ini);
    EXPECT_FALSE(saved.inKeyring);
    EXPECT_EQ(saved.error, "The keyring is locked.");
    EXPECT_EQ(r.text(Company::EMailPassword), "fresh");
    EXPECT_EQ(MailPassword(dir.path(), r, &keyring), "fresh");
}

TEST_F(MailPasswordTest, AnEmptyPasswordRemovesTheKeyringsCopyInsteadOfStoringNothing) {
    keyring.secrets[key("12")] = "gone soon";
    CompanyRecord r = WithPassword("12", "");
    EXPECT_TRUE(SaveMailPassword(dir.path(), r, true, &keyring, &ini).inKeyring);
    EXPECT_EQ(keyring.stores, 0);
    EXPECT_FALSE(keyring.secrets.contains(key("12")));
    EXPECT_EQ(MailPassword(dir.path(), r, &keyring), "");
}

TEST_F(MailPasswordTest, ALockedKeyringAtReadingIsReportedNotGuessed) {
    CompanyRecord r = WithPassword("12", "s3cret");
    ASSERT_TRUE(SaveMailPassword(dir.path(), r, true, &keyring, &ini).inKeyring);
    keyring.answers = false;
    std::string error;
    EXPECT_EQ(MailPassword(dir.path(), r, &keyring, &error), "");
    EXPECT_EQ(error, "The keyring is locked.");
}

TEST_F(MailPasswordTest, CompaniesAreKeptApartByTheirNumberWithoutBlanks) {
    CompanyRecord one = WithPassword("    1", "first");
    CompanyRecord twelve = WithPassword("12", "twelfth");
    ASSERT_TRUE(SaveMailPassword(dir.path(), one, true, &keyring, &ini).inKeyring);
    ASSERT_TRUE(SaveMailPassword(dir.path(), twelve, false, &keyring, &ini).error.empty());
    EXPECT_EQ(keyring.secrets.size(), 1u);
    EXPECT_EQ(keyring.secrets.at(key("1")), "first");
    const data::IniFile again = reread();
    EXPECT_TRUE(KeepPasswordInKeyring(again, "1", &keyring));
    EXPECT_FALSE(KeepPasswordInKeyring(again, "12", &keyring));
    EXPECT_EQ(MailPassword(dir.path(), one, &keyring), "first");
    EXPECT_EQ(MailPassword(dir.path(), twelve, &keyring), "twelfth");
    ForgetMailPassword(dir.path(), " 1", &keyring);
    EXPECT_TRUE(keyring.secrets.empty());
}

TEST_F(MailPasswordTest, CharactersOutsideAsciiSurviveTheKeyring) {
    CompanyRecord r = WithPassword("7", "Grüße-€5");
    ASSERT_TRUE(SaveMailPassword(dir.path(), r, true, &keyring, &ini).inKeyring);
    EXPECT_EQ(keyring.secrets.at(key("7")), "Grüße-€5");
    EXPECT_EQ(MailPassword(dir.path(), r, &keyring), "Grüße-€5");
}

TEST_F(MailPasswordTest, TwoDataFoldersKeepTheirOwnPasswordForTheSameCompanyNumber) {
    testing::TempDir second;
    data::IniFile otherIni(data::IniFilePath(second.path()));
    CompanyRecord here = WithPassword("1", "first folder");
    CompanyRecord there = WithPassword("1", "second folder");
    ASSERT_TRUE(SaveMailPassword(dir.path(), here, true, &keyring, &ini).inKeyring);
    ASSERT_TRUE(SaveMailPassword(second.path(), there, true, &keyring, &otherIni).inKeyring);
    EXPECT_EQ(keyring.secrets.size(), 2u);
    std::string error;
    EXPECT_EQ(LoginPassword(dir.path(), here, &keyring, &error), "first folder");
    EXPECT_EQ(LoginPassword(second.path(), there, &keyring, &error), "second folder");
    EXPECT_TRUE(error.empty());
    // A path spelled another way is the same folder.
    EXPECT_EQ(KeyringKey(dir.path() + "/.", "  1"), key("1"));
    // Deleting the company in one folder leaves the other's password.
    ForgetMailPassword(second.path(), "1", &keyring);
    EXPECT_EQ(LoginPassword(dir.path(), here, &keyring, &error), "first folder");
    EXPECT_FALSE(keyring.secrets.contains(KeyringKey(second.path(), "1")));
}

TEST_F(MailPasswordTest, APasswordStoredUnderTheNumberAloneIsReadAndMovedToTheFolder) {
    // As an earlier version kept it.
    keyring.secrets["12"] = "kept since 2025";
    ASSERT_TRUE(ini.writeInteger(kKeyringSection, "12", 1));
    CompanyRecord r = WithPassword("12", "");
    std::string error;
    EXPECT_EQ(LoginPassword(dir.path(), r, &keyring, &error), "kept since 2025");
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(keyring.secrets.at(key("12")), "kept since 2025");
    // Another data folder that used the same entry still finds it.
    testing::TempDir second;
    data::IniFile(data::IniFilePath(second.path())).writeInteger(kKeyringSection, "12", 1);
    EXPECT_EQ(MailPassword(second.path(), r, &keyring), "kept since 2025");
    // A password saved here replaces the old entry, which would otherwise come back after
    // the password was removed.
    ASSERT_TRUE(SaveMailPassword(dir.path(), r, true, &keyring, &ini).inKeyring);
    EXPECT_FALSE(keyring.secrets.contains("12"));
    EXPECT_FALSE(keyring.secrets.contains(key("12")));
    EXPECT_EQ(MailPassword(dir.path(), r, &keyring, true), "");
    // A keyring that does not answer is said, not read as "no password".
    keyring.secrets["12"] = "old";
    keyring.answers = false;
    EXPECT_EQ(LoginPassword(dir.path(), r, &keyring, &error), "");
    EXPECT_EQ(error.rfind("The desktop keyring did not answer", 0), 0u) << error;
}

// ------------------------------------------------------------------ the login's password

TEST_F(MailPasswordTest, TheLoginGetsThePasswordExactlyAsStoredWhereverItIsKept) {
    CompanyRecord inRecord = WithPassword("12", "  blanks around  ");
    std::string error;
    EXPECT_EQ(LoginPassword(dir.path(), inRecord, &keyring, &error), "  blanks around  ");
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(keyring.lookups, 0);

    CompanyRecord kept = WithPassword("12", " kept in the keyring ");
    ASSERT_TRUE(SaveMailPassword(dir.path(), kept, true, &keyring, &ini).inKeyring);
    EXPECT_EQ(LoginPassword(dir.path(), kept, &keyring, &error), " kept in the keyring ");
    EXPECT_TRUE(error.empty());
    // Kept in the record by choice: no keyring is asked, and none is needed.
    CompanyRecord plain = WithPassword("12", "");
    ASSERT_TRUE(SaveMailPassword(dir.path(), plain, false, &keyring, &ini).error.empty());
    keyring.lookups = 0;
    EXPECT_EQ(LoginPassword(dir.path(), plain, nullptr, &error), "");
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(keyring.lookups, 0);
}

TEST_F(MailPasswordTest, AKeyringThatCannotGiveThePasswordStopsTheLoginWithAPlainReason) {
    CompanyRecord r = WithPassword("12", "s3cret");
    ASSERT_TRUE(SaveMailPassword(dir.path(), r, true, &keyring, &ini).inKeyring);
    // No keyring at all (the command line under cron has no session bus).
    std::string error;
    EXPECT_EQ(LoginPassword(dir.path(), r, nullptr, &error), "");
    EXPECT_EQ(error.rfind("The desktop keyring did not answer, so the mail password of company "
                          "12 could not be read and no login was tried. Unlock the desktop "
                          "keyring",
                          0),
              0u)
        << error;
    EXPECT_NE(error.find("untick \"Keep the password in the desktop keyring\" on the E-Mail tab "
                         "of Company Options"),
              std::string::npos);
    // A keyring object whose service does not answer.
    keyring.answers = false;
    error.clear();
    EXPECT_EQ(LoginPassword(dir.path(), r, &keyring, &error), "");
    EXPECT_EQ(error.rfind("The desktop keyring did not answer", 0), 0u) << error;
    // It answers but gives nothing for the company: locked, or the secret is gone.
    keyring.answers = true;
    keyring.secrets.clear();
    error.clear();
    EXPECT_EQ(LoginPassword(dir.path(), r, &keyring, &error), "");
    EXPECT_EQ(error.rfind("The desktop keyring gave no mail password for company 12: it is "
                          "locked, or holds none for this company. No login was tried.",
                          0),
              0u)
        << error;
    // A company that never chose, on a computer without a keyring: the record's, empty.
    error.clear();
    EXPECT_EQ(LoginPassword(dir.path(), WithPassword("5", ""), nullptr, &error), "");
    EXPECT_TRUE(error.empty());
}

TEST_F(MailPasswordTest, TheCopyOfTheCompanyInUseLosesThePasswordTheRecordNoLongerHolds) {
    CompanyRecord before = WithPassword("12", "Secret-In-LastCo");
    before.setText(Company::Name, "Harbor Supply");
    ASSERT_TRUE(data::WriteLastCompany(dir.path(), before));
    CompanyRecord moved = before;
    ASSERT_TRUE(SaveMailPassword(dir.path(), moved, true, &keyring, &ini).inKeyring);
    ASSERT_TRUE(SyncLastCompanyPassword(dir.path(), moved));
    const std::string bytes = testing::ReadFileBytes(dir.file("LastCo.Dat"));
    EXPECT_EQ(bytes.size(), size_t(data::CompanyRecord::kLength));
    EXPECT_EQ(bytes.find("Secret-In-LastCo"), std::string::npos);
    // Only the password changed in the copy.
    const std::optional<CompanyRecord> copy = data::ReadLastCompany(dir.path());
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->text(Company::Name), "Harbor Supply");
    EXPECT_EQ(copy->text(Company::EMailPassword), "");

    // The copy of another company is not touched.
    ASSERT_TRUE(data::WriteLastCompany(dir.path(), before));
    const std::string other = testing::ReadFileBytes(dir.file("LastCo.Dat"));
    ASSERT_TRUE(SyncLastCompanyPassword(dir.path(), WithPassword("7", "")));
    EXPECT_TRUE(testing::ReadFileBytes(dir.file("LastCo.Dat")) == other);
    // No copy at all: nothing to do.
    testing::TempDir empty;
    EXPECT_TRUE(SyncLastCompanyPassword(empty.path(), moved));
    EXPECT_FALSE(data::FileExists(empty.file("LastCo.Dat")));
}

}  // namespace
}  // namespace invarro::app
