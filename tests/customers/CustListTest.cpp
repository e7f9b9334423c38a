// The customer manager's texts: browser rows, the customer list, the clipboard text, the
// label-queue entry, and the demo customers.

#include "CustomerFixture.h"
#include "customers/CustList.h"
#include "customers/Demo.h"
#include "data/Ansi.h"
#include "support/RecordingProgress.h"

namespace invarro::customers {
namespace {

using data::Customer;

data::CustomerRecord Sample() {
    CustomerEntry e;
    e.number = "100";
    e.name = "Harborview Dental Group";
    e.shortName = "HDental";
    e.custType = "Medical Office";
    e.taxExempt = "N";
    e.creditLimit = "5000";
    e.terms = "Net 30 Days";
    e.bill = {"1420 Marina Blvd", "San Leandro, CA 94577", "", ""};
    e.ship = {"Dock 2", "1420 Marina Blvd", "San Leandro, CA 94577", ""};
    e.phone1 = "(510) 555-0142";
    e.phone2 = "(510) 555-0143";
    data::CustomerRecord r = NewCustomerRecord(e);
    r.setText(Customer::Balance, "-1234.5");
    r.setText(Customer::LastPayDate, "03/15/2024");
    r.setText(Customer::LastInvNo, "1042");
    return r;
}

TEST(ManagerRows, HeaderAndRowColumns) {
    const std::string h = ManagerHeader();
    EXPECT_EQ(h.size(), 128u);
    EXPECT_EQ(h.substr(0, 36), std::string("Name") + std::string(31, ' ') + " ");
    EXPECT_EQ(h.substr(36, 9), "Number   ");
    EXPECT_EQ(h.substr(45, 13), "     Balance ");
    EXPECT_EQ(h.substr(58, 36), "Last Pmt.  Last Inv. Phone Number(s)");

    const std::string row = ManagerRow(Sample());
    EXPECT_EQ(row.size(), 128u);
    EXPECT_EQ(row.substr(0, 35), "Harborview Dental Group            ");
    EXPECT_EQ(row.substr(36, 8), "100     ");
    EXPECT_EQ(row.substr(45, 12), "   -1,234.50");
    EXPECT_EQ(row.substr(58, 10), "03/15/2024");
    EXPECT_EQ(row.substr(69, 9), "1042     ");
    EXPECT_EQ(row.substr(79, 14), "(510) 555-0142");
}

TEST(ManagerRows, AccentedNamesAreMeasuredInCharacters) {
    data::CustomerRecord r = Sample();
    r.setText(Customer::Name, "Café Müller");
    const std::string row = ManagerRow(r);
    EXPECT_EQ(data::CharCount(row), 128u);
    EXPECT_EQ(data::FirstChars(row, 37).substr(data::FirstChars(row, 36).size()), "1");
}

TEST(CustomerList, EntryLinesAsGiven) {
    std::vector<std::string> lines = CustomerListEntry(Sample(), true);
    ASSERT_EQ(lines.size(), 11u);
    const std::string sp12(12, ' '), sp11(11, ' ');
    EXPECT_EQ(lines[0],
              "Harborview Dental Group" + sp12 + "     Number: 100         Balance: -1,234.50");
    EXPECT_EQ(lines[1],
              "Short Name: HDental       Type: Medical Office" + sp11 + "   Last Pmt: 03/15/2024");
    EXPECT_EQ(lines[2], "Credit Limit: 5,000.00        Last Invoice: 1042         Tax Exempt: N");
    EXPECT_EQ(lines[3], "Phone1: (510) 555-0142" + sp11 + "     Phone2: (510) 555-0143");
    EXPECT_EQ(lines[4], "Payment Terms: Net 30 Days");
    EXPECT_EQ(lines[5], "Billing Address:" + std::string(19 + 5, ' ') + "Shipping Address:");
    EXPECT_EQ(lines[6], "1420 Marina Blvd" + std::string(19 + 5, ' ') + "Dock 2");
    EXPECT_EQ(lines[8], std::string(35, ' ') + "     San Leandro, CA 94577");
    EXPECT_EQ(lines[9], std::string(40, ' '));
    EXPECT_EQ(lines[10], std::string(80, '-'));

    EXPECT_EQ(CustomerListEntry(Sample(), false).size(), 6u);
}

TEST(CustomerList, EveryLineFitsIn85Characters) {
    // Every field at its full width.
    data::CustomerRecord r = Sample();
    r.setText(Customer::CustNo, std::string(8, '8'));
    r.setText(Customer::Name, std::string(35, 'N'));
    r.setText(Customer::Balance, "-99999999.99");
    r.setText(Customer::ShortName, std::string(10, 'S'));
    r.setText(Customer::CustType, std::string(25, 'T'));
    r.setText(Customer::LastPayDate, "12/31/2024");
    r.setText(Customer::LastInvNo, std::string(9, 'I'));
    r.setText(Customer::CreditLimit, "9999999.99");
    r.setText(Customer::Phone1, std::string(25, '1'));
    r.setText(Customer::Phone2, std::string(25, '2'));
    r.setText(Customer::Terms, std::string(35, 'e'));
    r.setText(Customer::BillAddr4, std::string(35, 'B'));
    std::string accents;
    for (int i = 0; i < 35; ++i)
        accents += "é";
    r.setText(Customer::ShipAddr4, accents);
    std::vector<std::string> lines = CustomerListEntry(r, true);
    for (const std::string& l : lines)
        EXPECT_LE(data::CharCount(l), 85u) << l;
    EXPECT_EQ(lines[0], std::string(35, 'N') + "     Number: 88888888    Balance: -99,999,999.99");
    EXPECT_EQ(lines[1], "Short Name: SSSSSSSSSS    Type: " + std::string(25, 'T') +
                            "   Last Pmt: 12/31/2024");
    EXPECT_EQ(data::CharCount(lines[9]), 75u);
    // An empty credit limit counts as 0.00.
    r.setText(Customer::CreditLimit, "");
    EXPECT_EQ(CustomerListEntry(r, false)[2].substr(0, 26), "Credit Limit: 0.00        ");
}

TEST_F(CustomerTest, ListWalksTheChosenOrderAndSkipsCustomersWithoutNumber) {
    addCustomer("30", "Alpha Industries");
    addCustomer("10", "Zenith Labs");
    addCustomer("20", "Midway Motors");
    data::CustomerRecord blank = NewCustomerRecord(CustomerEntry{});
    blank.setText(Customer::Name, "No Number Yet");
    ASSERT_TRUE(data::AddBusinessRecord(customers, blank, prompter).ok());

    platform::FixedClock clock({2024, 3, 3, 14, 5, 0});
    invarro::testing::RecordingProgress progress;
    auto names = [](const std::vector<std::string>& lines) {
        std::vector<std::string> out;
        for (std::size_t i = 3; i < lines.size(); i += 6)
            out.push_back(lines[i].substr(0, 16));
        return out;
    };
    std::vector<std::string> byName =
        CustomerListLines(customers, company, ListOrder::ByName, false, clock, progress);
    ASSERT_EQ(byName.size(), 3u + 3 * 6);
    EXPECT_EQ(byName[0], "Customer List for Northside Supply");
    EXPECT_EQ(byName[1], "Date: Sunday, March 3, 2024, 02:05 PM");
    EXPECT_EQ(byName[2], std::string(80, '-'));
    EXPECT_EQ(names(byName), (std::vector<std::string>{"Alpha Industries", "Midway Motors   ",
                                                       "Zenith Labs     "}));
    EXPECT_EQ(progress.titles, std::vector<std::string>{"Customer List"});
    EXPECT_EQ(progress.shown.front(), "Preparing list...");

    std::vector<std::string> byNumber =
        CustomerListLines(customers, company, ListOrder::ByNumber, true, clock, progress);
    ASSERT_EQ(byNumber.size(), 3u + 3 * 11);
    EXPECT_EQ(byNumber[3].substr(0, 11), "Zenith Labs");
    EXPECT_EQ(byNumber[14].substr(0, 13), "Midway Motors");
    EXPECT_EQ(CustomerListTitle(ListOrder::ByNumber), "Customer List by Number");
    EXPECT_EQ(CustomerListTitle(ListOrder::ByName), "Customer List by Name");
}

TEST(Clipboard, NameAndFourBillingLinesWithSingleLineFeeds) {
    data::CustomerRecord r = Sample();
    EXPECT_EQ(ClipboardText(r),
              "Harborview Dental Group\n1420 Marina Blvd\nSan Leandro, CA 94577\n\n");
    r.setText(Customer::BillAddr1, "");
    r.setText(Customer::BillAddr2, "");
    const std::string t = ClipboardText(r);
    EXPECT_EQ(std::count(t.begin(), t.end(), '\n'), 4);
    EXPECT_EQ(t.find('\r'), std::string::npos);
}

TEST(LabelQueue, EntryFromTheCustomer) {
    data::CustomerRecord r = Sample();
    r.setText(Customer::MailSortCode, "WEST");
    output::LabelQueue queue;
    queue.add(LabelEntryFor(r));
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue.entries()[0],
              (output::LabelEntry{"100", "Harborview Dental Group", "WEST", "Medical Office"}));
    queue.remove(5);
    EXPECT_EQ(queue.size(), 1u);
    queue.remove(0);
    EXPECT_TRUE(queue.empty());
}

TEST_F(CustomerTest, DemoCustomersGoThroughTheAddRoutine) {
    storage::CloseFileblock(customers);
    customers = nullptr;
    company.setText(data::Company::NextCustNo, "1001");
    DemoResult r = AddDemoCustomers(dir.path(), company, prompter);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.added, kDemoCustomerCount);
    // The company kept in memory and the one on file both moved on.
    EXPECT_EQ(company.text(data::Company::NextCustNo), "1037");
    customers = storage::OpenFileblock(name(data::FileKind::Customer), false);
    ASSERT_TRUE(storage::EngineOk);
    EXPECT_EQ(storage::UsedRecordCount(customers), kDemoCustomerCount);
    auto first = data::ReadBusinessRecord<Customer>(customers, 1);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->text(Customer::CustNo), "1001");
    EXPECT_FALSE(first->text(Customer::ShortName).empty());
    EXPECT_EQ(first->text(Customer::Balance), "0.00");
    EXPECT_NE(first->text(Customer::EMail).find('@'), std::string::npos);
    storage::CloseFileblock(customers);
    EXPECT_TRUE(storage::CheckFileblock(name(data::FileKind::Customer)).empty());
    customers = nullptr;
}

}  // namespace
}  // namespace invarro::customers
