// The settings file of a folder whose company settings are kept elsewhere (books on a
// server): which settings are the company's, and that reads and writes go to the store for
// those and to the file for the rest, all or nothing.

#include <gtest/gtest.h>

#include <map>

#include "data/IniFile.h"
#include "support/TempDir.h"

namespace invarro::data {
namespace {

using invarro::testing::ReadFileBytes;
using invarro::testing::TempDir;
using invarro::testing::WriteFileBytes;

TEST(CompanySettings, OnlyTheCompanysOwnSectionsAreShared) {
    EXPECT_TRUE(IsCompanySetting("E-Invoice 1", "IBAN"));
    EXPECT_TRUE(IsCompanySetting("e-invoice 32000", "iban"));
    EXPECT_TRUE(IsCompanySetting("E-Mail Templates 2", "InvoiceSubject"));
    EXPECT_TRUE(IsCompanySetting("Bank CSV 3", "Delimiter"));
    EXPECT_TRUE(IsCompanySetting("Payment code 3", "Off"));
    EXPECT_TRUE(IsCompanySetting(" E-Mail Attachment ", "3"));
    EXPECT_TRUE(IsCompanySetting("E-Mail Sign-In 2", "Method"));
    // The person's own: the secret of the sign-in, the account signed in, where the mail
    // password is kept, windows, the server, the last backup.
    EXPECT_FALSE(IsCompanySetting("E-Mail Sign-In 2", "ClientSecret"));
    EXPECT_FALSE(IsCompanySetting("E-Mail Sign-In 2", "account"));
    EXPECT_FALSE(IsCompanySetting("E-Mail Password", "1"));
    EXPECT_FALSE(IsCompanySetting("MainForm", "Top"));
    EXPECT_FALSE(IsCompanySetting("Server", "Connection"));
    EXPECT_FALSE(IsCompanySetting("Backup", "LastBackup"));
    // Only a company number follows the name.
    EXPECT_FALSE(IsCompanySetting("E-Invoice", "IBAN"));
    EXPECT_FALSE(IsCompanySetting("E-Invoice 1x", "IBAN"));
    EXPECT_FALSE(IsCompanySetting("E-Invoices 1", "IBAN"));
    EXPECT_FALSE(IsCompanySetting("E-Invoice1", "IBAN"));
}

// A store in memory standing in for the server; failing when told to.
struct FakeStore {
    std::string folder;
    std::vector<SettingValue> values;
    bool fail = false;
    int writes = 0;
    FakeStore() {
        SetCompanySettingsStore(
            {[this](const std::string& f) { return f == folder; },
             [this](const std::string&,
                    std::string* error) -> std::optional<std::vector<SettingValue>> {
                 if (fail) {
                     if (error) *error = "the server is gone";
                     return std::nullopt;
                 }
                 return values;
             },
             [this](const std::string&, const std::vector<SettingValue>& v, std::string* error) {
                 ++writes;
                 if (fail) {
                     if (error) *error = "the server is gone";
                     return false;
                 }
                 for (const SettingValue& n : v) {
                     bool found = false;
                     for (SettingValue& o : values)
                         if (SameSettingName(o.section, n.section) &&
                             SameSettingName(o.key, n.key)) {
                             o.value = n.value;
                             found = true;
                         }
                     if (!found) values.push_back(n);
                 }
                 return true;
             },
             [this](const std::string&, const std::vector<SettingValue>& v, std::string*) {
                 values = v;
                 return !fail;
             }});
    }
    ~FakeStore() { SetCompanySettingsStore({}); }
};

TEST(CompanySettings, ReadAndWrittenInTheStoreTheRestInTheFile) {
    TempDir dir;
    FakeStore store;
    store.folder = dir.path();
    store.values = {{"E-Invoice 1", "IBAN", "DE02120300000000202051"}};
    const std::string path = IniFilePath(dir.path());
    WriteFileBytes(path, "[E-Invoice 1]\nIBAN=stale\n[MainForm]\nTop=5\n");
    IniFile ini(path);
    EXPECT_EQ(ini.problem(), "");
    // The company's setting comes from the store, never from the file's stale copy.
    EXPECT_EQ(ini.readString("e-invoice 1", "iban", ""), "DE02120300000000202051");
    EXPECT_EQ(ini.readInteger("MainForm", "Top", 0), 5);
    EXPECT_FALSE(ini.read("E-Invoice 1", "BIC"));

    // One write of a section holding both kinds splits between them.
    ASSERT_TRUE(ini.write("E-Mail Sign-In 1", {{"Method", "Google"}, {"ClientSecret", "s3"}}));
    ASSERT_EQ(store.values.size(), 2u);
    EXPECT_EQ(store.values[1], (SettingValue{"E-Mail Sign-In 1", "Method", "Google"}));
    const std::string file = ReadFileBytes(path);
    EXPECT_NE(file.find("ClientSecret=s3"), std::string::npos) << file;
    EXPECT_EQ(file.find("Method"), std::string::npos) << file;
    EXPECT_EQ(ini.readString("E-Mail Sign-In 1", "Method", ""), "Google");
    EXPECT_EQ(IniFile(path).readString("E-Mail Sign-In 1", "ClientSecret", ""), "s3");
    // A write of the person's own settings alone does not touch the store.
    const int writes = store.writes;
    ASSERT_TRUE(ini.writeInteger("MainForm", "Left", 7));
    EXPECT_EQ(store.writes, writes);
    // A value changed in the store by someone else is seen by the next reader.
    store.values[0].value = "NL91ABNA0417164300";
    EXPECT_EQ(IniFile(path).readString("E-Invoice 1", "IBAN", ""), "NL91ABNA0417164300");

    // Another folder's settings file is not covered.
    TempDir other;
    IniFile plain(IniFilePath(other.path()));
    ASSERT_TRUE(plain.writeString("E-Invoice 1", "IBAN", "X"));
    EXPECT_EQ(IniFile(IniFilePath(other.path())).readString("E-Invoice 1", "IBAN", ""), "X");
    EXPECT_EQ(store.values[0].value, "NL91ABNA0417164300");
}

TEST(CompanySettings, AStoreThatFailsChangesNothingAndSaysSo) {
    TempDir dir;
    FakeStore store;
    store.folder = dir.path();
    const std::string path = IniFilePath(dir.path());
    WriteFileBytes(path, "[MainForm]\nTop=5\n");
    store.fail = true;
    IniFile ini(path);
    EXPECT_NE(ini.problem().find("the server is gone"), std::string::npos) << ini.problem();
    // Nothing is read from the file's section instead, and a write fails as a whole: the
    // file's part of it is not written either.
    EXPECT_FALSE(ini.read("E-Invoice 1", "IBAN"));
    std::string why;
    EXPECT_FALSE(
        ini.write("E-Mail Sign-In 1", {{"Method", "Google"}, {"ClientSecret", "s3"}}, &why));
    EXPECT_EQ(why, "the server is gone");
    EXPECT_EQ(ReadFileBytes(path), "[MainForm]\nTop=5\n");
}

TEST(CompanySettings, RemovingFromTheFileDropsEmptySectionsButKeepsComments) {
    TempDir dir;
    const std::string path = IniFilePath(dir.path());
    WriteFileBytes(path,
                   "; made by hand\n[E-Invoice 1]\nIBAN=X\n\n[MainForm]\nTop=5\n[Bank CSV 1]\n; "
                   "semicolons\nDelimiter=;\n[Payment code 1]\nOff=1\n");
    IniFile ini(path);
    const std::vector<SettingValue> all = ini.fileValues();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[2], (SettingValue{"Bank CSV 1", "Delimiter", ";"}));
    ASSERT_TRUE(ini.removeFromFile(
        [](const SettingValue& v) { return IsCompanySetting(v.section, v.key); }));
    // Written with the file's own line ends (CR LF).
    EXPECT_EQ(ReadFileBytes(path),
              "; made by hand\r\n[MainForm]\r\nTop=5\r\n[Bank CSV 1]\r\n; semicolons\r\n");
    EXPECT_EQ(IniFile(path).fileValues(), (std::vector<SettingValue>{{"MainForm", "Top", "5"}}));
}

}  // namespace
}  // namespace invarro::data
