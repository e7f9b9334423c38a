// New-company values and the checks of the company set-up dialog.

#include "DataFixture.h"
#include "data/Company.h"
#include "data/Update.h"

namespace invarro::data {
namespace {

CompanySetupEntry Valid() {
    CompanySetupEntry e;
    e.eMailAddress = "office@example.com";
    e.name = "Acme";
    e.number = "2";
    e.agingDays1 = "30";
    e.agingDays2 = "60";
    e.agingDays3 = "90";
    return e;
}

SetupCheck Check(CompanySetupEntry& e, std::string_view inUse = "1",
                 std::function<bool(std::string_view)> exists = {}) {
    return CheckCompanySetup(e, inUse, exists);
}

std::string TextOf(const SetupCheck& c) {
    return c.problem ? c.problem->message.text : std::string("ok");
}

TEST(CompanySetup, EMailAddressNeedsAnAtSignAndIsCheckedFirst) {
    CompanySetupEntry e = Valid();
    e.eMailAddress = "office.example.com";
    e.name = "";  // would fail too, but is not reached
    SetupCheck c = Check(e);
    ASSERT_FALSE(c.ok());
    EXPECT_EQ(c.problem->field, SetupField::EMailAddress);
    EXPECT_EQ(c.problem->tab, "E-Mail");
    EXPECT_EQ(c.problem->message.title, "Company E-Mail Address");
    EXPECT_EQ(TextOf(c),
              "Your company e-mail address does not have the @ sign included. Bad e-mail address.");
    e = Valid();
    e.eMailAddress = "";
    EXPECT_TRUE(Check(e).ok());
}

TEST(CompanySetup, NameIsRequired) {
    CompanySetupEntry e = Valid();
    e.name = " \t ";
    e.number = "x";  // not reached
    SetupCheck c = Check(e);
    EXPECT_EQ(TextOf(c), "A company name is required.");
    EXPECT_EQ(c.problem->message.title, "Invalid Company Name");
    EXPECT_EQ(c.problem->field, SetupField::Name);
}

TEST(CompanySetup, NumberFrom1To32000) {
    const std::string range = "The Company number must be between 0 and 32001.";
    const std::string numeric =
        "The company number field is numeric and valid values are 1 to 32000.";
    struct Case {
        const char* typed;
        std::string expected;
    } cases[] = {{"32000", "ok"},  {"1", "ok"},
                 {"32001", range}, {"0", range},
                 {"", range},      {"-5", range},
                 {"12a", numeric}, {"1.5", numeric},
                 {"+", numeric},   {"99999999999", numeric}};
    for (const auto& c : cases) {
        CompanySetupEntry e = Valid();
        e.number = c.typed;
        SetupCheck r = Check(e);
        EXPECT_EQ(TextOf(r), c.expected) << c.typed;
        if (!r.ok()) {
            EXPECT_EQ(r.problem->field, SetupField::Number);
            EXPECT_EQ(r.problem->message.title, "Invalid Company Number");
        }
    }
    CompanySetupEntry e = Valid();
    e.number = "";
    Check(e);
    EXPECT_EQ(e.number, "0");
    e.number = " 007 ";
    EXPECT_TRUE(Check(e).ok());
    EXPECT_EQ(e.number, "7");
}

TEST(CompanySetup, NumberInUseIsRefusedOnlyWhenAdding) {
    std::vector<std::string> asked;
    auto exists = [&](std::string_view n) {
        asked.emplace_back(n);
        return n == "3";
    };
    CompanySetupEntry e = Valid();
    e.number = "03";
    SetupCheck c = Check(e, "1", exists);
    EXPECT_EQ(TextOf(c), "This Company number already exists. Enter another number.");
    EXPECT_EQ(c.problem->message.title, "Company Number");
    EXPECT_EQ(asked, std::vector<std::string>{"3"});

    e = Valid();
    e.number = "3";
    e.numberEnabled = false;  // editing company 3 itself
    EXPECT_TRUE(Check(e, "1", exists).ok());
}

TEST(CompanySetup, AgingCategoriesTwoDaysApart) {
    auto aging = [](const char* a, const char* b, const char* c) {
        CompanySetupEntry e = Valid();
        e.agingDays1 = a;
        e.agingDays2 = b;
        e.agingDays3 = c;
        SetupCheck r = Check(e);
        if (!r.ok()) {
            EXPECT_EQ(r.problem->tab, "Envelopes/Aging");
        }
        return r.ok() ? std::string("ok") : r.problem->message.title;
    };
    EXPECT_EQ(aging("30", "31", "90"), "Aging Category 2");
    EXPECT_EQ(aging("30", "32", "34"), "ok");
    EXPECT_EQ(aging("30", "32", "33"), "Aging Category 3");
    EXPECT_EQ(aging("", "", ""), "Aging Category 2");
    EXPECT_EQ(aging("", "2", "4"), "ok");
    EXPECT_EQ(aging(" 5 ", "7", "9"), "ok");
    EXPECT_EQ(aging("3a", "60", "90"), "Aging Category 1");

    CompanySetupEntry e = Valid();
    e.agingDays2 = "31";
    SetupCheck r = Check(e);
    EXPECT_EQ(TextOf(r),
              "The aging days for category 2 must be greater than category 1 by at least 2 days.");
    EXPECT_EQ(r.problem->field, SetupField::AgingDays2);
    e = Valid();
    e.agingDays1 = "";
    e.agingDays3 = "61";
    r = Check(e);
    EXPECT_EQ(e.agingDays1, "0");
    EXPECT_EQ(TextOf(r),
              "The aging days for category 3 must be greater than category 2 by at least 2 days.");
}

TEST(CompanySetup, EditingTheCompanyInUseAsksForAReload) {
    CompanySetupEntry e = Valid();
    e.number = "1";
    e.numberEnabled = false;
    EXPECT_TRUE(Check(e, "1").reloadCompanyInUse);
    e.number = "2";
    EXPECT_FALSE(Check(e, "1").reloadCompanyInUse);
    EXPECT_TRUE(Check(e, " 2 ").reloadCompanyInUse);
}

TEST(CompanySetup, NumberOfCopies) {
    EXPECT_EQ(StoredNumCopies("7"), "1");
    EXPECT_EQ(StoredNumCopies("5"), "5");
    EXPECT_EQ(StoredNumCopies("2"), "2");
    EXPECT_EQ(StoredNumCopies("1"), "1");
    EXPECT_EQ(StoredNumCopies(""), "1");
    EXPECT_EQ(StoredNumCopies("x"), "1");
}

TEST(NewCompany, KeepsFormSettingsAndStartsCountersAfresh) {
    CompanyRecord inUse = FirstCompanyBase();
    inUse.setText(Company::Name, "Old Company");
    inUse.setText(Company::CompanyNo, "1");
    ASSERT_TRUE(inUse.setMoney(Company::ARBalance, Money::FromCents(500000)));
    inUse.setText(Company::NextInvNo, "5123");
    inUse.setText(Company::NextCustNo, "812");
    inUse.setText(Company::AgingDays1, "15");
    inUse.setText(Company::AgingDays2, "45");
    inUse.setText(Company::AgingDays3, "75");
    inUse.setText(Company::DateFormatCode, "D");
    inUse.setText(Company::EMailAddress, "old@example.com");
    inUse.setText(Company::CurrencySymbol, "£");
    inUse.setText(Company::NumCopies, "4");
    // Kept settings
    inUse.setText(Company::InvoiceCaption, "RECHNUNG");
    inUse.setText(Company::BoxTop, "12");
    inUse.setText(Company::MaxLines, "33");
    inUse.setFont(Company::FormFonts4, {"Georgia", 11, 0x123456, style::Underline});
    inUse.setText(Company::EnvFontName, "Verdana");
    inUse.setText(Company::EnvTopMargin, "150");
    inUse.setByte(Company::DefaultPrintFlag, 1);
    inUse.setByte(Company::ShowAgingChart, 1);
    inUse.setText(Company::DepositCounter, "15007");
    inUse.setYes(Company::BackupOnExit, true);

    CompanyRecord n = NewCompanyRecord(inUse, 4);
    EXPECT_EQ(n.status(), 0);
    EXPECT_EQ(n.text(Company::Name), "");
    EXPECT_EQ(n.text(Company::CompanyNo), "5");
    EXPECT_EQ(n.text(Company::ARBalance), "0.00");
    EXPECT_EQ(n.text(Company::NextInvNo), "1000");
    EXPECT_EQ(n.text(Company::NextCustNo), "1");
    EXPECT_EQ(n.text(Company::AgingDays1), "30");
    EXPECT_EQ(n.text(Company::AgingDays2), "60");
    EXPECT_EQ(n.text(Company::AgingDays3), "90");
    EXPECT_EQ(n.text(Company::DateFormatCode), "M");
    EXPECT_EQ(n.text(Company::EMailAddress), "");
    EXPECT_EQ(n.text(Company::CurrencySymbol), "$");
    EXPECT_EQ(n.text(Company::NumCopies), "1");

    EXPECT_EQ(n.text(Company::InvoiceCaption), "RECHNUNG");
    EXPECT_EQ(n.text(Company::BoxTop), "12");
    EXPECT_EQ(n.text(Company::MaxLines), "33");
    EXPECT_EQ(n.font(Company::FormFonts4), inUse.font(Company::FormFonts4));
    EXPECT_EQ(n.text(Company::EnvFontName), "Verdana");
    EXPECT_EQ(n.text(Company::EnvTopMargin), "150");
    EXPECT_EQ(n.byte(Company::DefaultPrintFlag), 1);
    EXPECT_EQ(n.byte(Company::ShowAgingChart), 1);
    EXPECT_EQ(n.text(Company::DepositCounter), "15007");
    EXPECT_TRUE(n.yes(Company::BackupOnExit));
}

class CompanyFileTest : public DataTest {};

TEST_F(CompanyFileTest, NumberExistsLooksForTheExactNumber) {
    storage::Fileblock* fb = createOpen(FileKind::Company);
    for (const char* no : {"1", "3", "12"}) {
        CompanyRecord c = NewCompanyRecord(FirstCompanyBase(), 0);
        c.setText(Company::CompanyNo, no);
        ASSERT_TRUE(AddBusinessRecord(fb, c, prompter).ok());
    }
    EXPECT_TRUE(CompanyNumberExists(fb, "3"));
    EXPECT_TRUE(CompanyNumberExists(fb, " 12"));
    EXPECT_FALSE(CompanyNumberExists(fb, "2"));   // finds "3" after it
    EXPECT_FALSE(CompanyNumberExists(fb, "30"));  // nothing after it
    EXPECT_FALSE(CompanyNumberExists(fb, "120"));
    storage::CloseFileblock(fb);
}

}  // namespace
}  // namespace invarro::data
