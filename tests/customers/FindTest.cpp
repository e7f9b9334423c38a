// The find window's search over real fileblocks: the search text, the fields searched in
// each mode, the columns, the scan's progress and stop, and the sorting of the rows.

#include <gtest/gtest.h>

#include "customers/Find.h"
#include "data/Company.h"
#include "data/Update.h"
#include "storage/Engine.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::customers {
namespace {

using data::FileKind;

class FindTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedFloor_ = storage::PoolFloor();
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
    }
    void TearDown() override {
        for (auto* fb : open_)
            storage::CloseFileblock(fb);
        if (storage::EngineStarted()) storage::ExitEngine();
        storage::SetPoolFloor(savedFloor_);
    }
    storage::Fileblock* create(FileKind kind) {
        const std::string name = data::FileblockName(dir.path(), kind, "1");
        EXPECT_TRUE(data::CreateBusinessFileblock(name, data::KindOf(kind)));
        storage::Fileblock* fb = storage::OpenFileblock(name, false);
        EXPECT_TRUE(storage::EngineOk);
        open_.push_back(fb);
        return fb;
    }
    template <class L>
    int32_t add(storage::Fileblock* fb, const data::Record<L>& r) {
        data::UpdateResult u = data::AddBusinessRecord(fb, r, prompter);
        EXPECT_TRUE(u.ok());
        return u.recNo;
    }
    static std::vector<std::string> Column(const FindResult& r, int column) {
        std::vector<std::string> out;
        for (const auto& row : r.rows)
            out.push_back(row.cells[size_t(column)]);
        return out;
    }
    static FindResult Find(storage::Fileblock* fb, FindMode mode, std::string_view entry) {
        return FindRecords(fb, mode, FindSearchText(entry), nullptr);
    }

    data::CustomerRecord customer(const std::string& no, const std::string& name,
                                  const std::string& email = "", const std::string& addr3 = "") {
        data::CustomerRecord c = data::NewRecord<data::Customer>();
        c.setText(data::Customer::CustNo, no);
        c.setText(data::Customer::Name, name);
        c.setText(data::Customer::EMail, email);
        c.setText(data::Customer::Phone1, "(503) 555-01" + no);
        c.setText(data::Customer::BillAddr1, no + " Main Street");
        c.setText(data::Customer::BillAddr3, addr3);
        c.setText(data::Customer::Notes, "notes hold SECRET text");
        return c;
    }
    data::InvoiceRecord invoice(const std::string& no, int year, int month, int day,
                                const std::string& custNo) {
        data::InvoiceRecord r = data::NewRecord<data::Invoice>();
        r.setText(data::Invoice::InvNo, no);
        r.setText(data::Invoice::CustNo, custNo);
        r.setText(data::Invoice::KeyCode, "None");
        r.setText(data::Invoice::ShortName, "ACME");
        r.setText(data::Invoice::Terms, "Net 30 Days 2024/03");  // not searched
        data::SetInvoiceDate(r, data::Date{year, month, day}, data::DateOrder::MonthFirst);
        return r;
    }

    testing::TempDir dir;
    testing::ScriptedPrompter prompter;
    std::vector<storage::Fileblock*> open_;

  private:
    int savedFloor_ = 0;
};

TEST(FindText, TrimmedUpperCasedAndCutToTen) {
    EXPECT_EQ(FindSearchText("  wonderland co  "), "WONDERLAND");
    EXPECT_EQ(FindSearchText("abc"), "ABC");
    EXPECT_EQ(FindSearchText("müller-lüdenscheid"), "MÜLLER-LÜD");
    EXPECT_EQ(FindSearchText(" \t "), "");
}

TEST(FindModes, NamesKindsAndColumns) {
    for (FindMode m : {FindMode::Inv, FindMode::Cust, FindMode::Prod, FindMode::Comp})
        EXPECT_EQ(FindModeFromName(FindModeName(m)), m);
    EXPECT_FALSE(FindModeFromName("Customers").has_value());
    EXPECT_EQ(FileKindOf(FindMode::Inv), FileKind::Invoice);
    EXPECT_EQ(FileKindOf(FindMode::Comp), FileKind::Company);

    const auto& inv = FindColumnsOf(FindMode::Inv);
    EXPECT_EQ(inv[0].title, "Year/Mo/Dy");
    EXPECT_EQ(inv[0].width, 80);
    EXPECT_EQ(inv[6].title, "Reference/Notes/Comments");
    EXPECT_EQ(inv[6].width, 400);
    const auto& prod = FindColumnsOf(FindMode::Prod);
    EXPECT_EQ(prod[2].title, "Unit Price");
    EXPECT_EQ(prod[2].width, 85);
    for (int i = 3; i < kFindColumns; ++i) {
        EXPECT_EQ(prod[size_t(i)].width, 0);
        EXPECT_TRUE(prod[size_t(i)].title.empty());
    }
    const auto& comp = FindColumnsOf(FindMode::Comp);
    EXPECT_EQ(comp[1].title, "Number");
    EXPECT_EQ(comp[1].width, 70);
    EXPECT_EQ(comp[6].width, 0);
    EXPECT_EQ(FindColumnsOf(FindMode::Cust)[2].title, "Phone Number");
}

TEST_F(FindTest, CustomersMatchAnywhereInAnySearchedField) {
    storage::Fileblock* fb = create(FileKind::Customer);
    add(fb, customer("101", "Wonderland Toys", "orders@wonderland.example"));
    add(fb, customer("102", "Harbor Supply", "ap@harbor.example", "Portland, OR"));
    add(fb, customer("103", "Alpine Tools", "billing@alpine.example"));

    // Part of an e-mail address, which the list does not show.
    FindResult r = Find(fb, FindMode::Cust, "RBOR.EX");
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.rows[0].cells[0], "Harbor Supply");
    EXPECT_EQ(r.rows[0].cells[1], "102");
    EXPECT_EQ(r.rows[0].cells[2], "(503) 555-01102");
    EXPECT_EQ(r.rows[0].cells[3], "102 Main Street");
    EXPECT_EQ(r.rows[0].cells[5], "Portland, OR");
    EXPECT_EQ(r.rows[0].recNo, 2);

    // Lower case finds upper and mixed case, and the reverse.
    EXPECT_EQ(Column(Find(fb, FindMode::Cust, "alpine tools"), 0),
              std::vector<std::string>{"Alpine Tools"});
    EXPECT_EQ(Column(Find(fb, FindMode::Cust, "WONDERLAND"), 0),
              std::vector<std::string>{"Wonderland Toys"});
    // Every customer's address has "Main Street".
    EXPECT_EQ(Find(fb, FindMode::Cust, "main st").rows.size(), 3u);
    // Fields that are not searched do not match.
    EXPECT_TRUE(Find(fb, FindMode::Cust, "secret").rows.empty());
}

TEST_F(FindTest, OnlyTheFirstTenCharactersAreSearched) {
    storage::Fileblock* fb = create(FileKind::Customer);
    add(fb, customer("1", "Wonderland"));
    // Twelve characters: "WONDERLAND" is searched, the "XY" after it is not.
    EXPECT_EQ(Find(fb, FindMode::Cust, "wonderlandXY").rows.size(), 1u);
    EXPECT_TRUE(Find(fb, FindMode::Cust, "XYwonderland").rows.empty());
}

TEST_F(FindTest, InvoicesOfOneMonthThroughTheirSortDate) {
    storage::Fileblock* fb = create(FileKind::Invoice);
    add(fb, invoice("1001", 2024, 2, 29, "7"));
    add(fb, invoice("1002", 2024, 3, 1, "7"));
    add(fb, invoice("1003", 2024, 3, 31, "8"));
    add(fb, invoice("1004", 2025, 3, 3, "8"));
    FindResult r = Find(fb, FindMode::Inv, "2024/03");
    EXPECT_EQ(Column(r, 1), (std::vector<std::string>{"1002", "1003"}));
    EXPECT_EQ(r.rows[0].cells[0], "2024/03/01");
    EXPECT_EQ(r.rows[0].cells[2], "7");
    EXPECT_EQ(r.rows[0].cells[3], "None");
    EXPECT_EQ(r.rows[0].cells[4], "ACME");
    // Customer numbers and invoice numbers are searched too.
    EXPECT_EQ(Find(fb, FindMode::Inv, "1004").rows.size(), 1u);
}

TEST_F(FindTest, ProductsAndCompanies) {
    storage::Fileblock* products = create(FileKind::Product);
    data::ProductRecord p = data::NewRecord<data::Product>();
    p.setText(data::Product::ProdCode, "BC-500");
    p.setText(data::Product::Description, "Business cards, 500");
    (void)p.setMoney(data::Product::SellPrice, data::Money::FromCents(4250));
    add(products, p);
    FindResult r = Find(products, FindMode::Prod, "42.5");
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0].cells[0], "BC-500");
    EXPECT_EQ(r.rows[0].cells[2], "42.50");
    EXPECT_EQ(r.rows[0].cells[3], "");

    const std::string name = data::FileblockName(dir.path(), FileKind::Company);
    ASSERT_TRUE(data::CreateBusinessFileblock(name, data::KindOf(FileKind::Company)));
    storage::Fileblock* companies = storage::OpenFileblock(name, false);
    open_.push_back(companies);
    data::CompanyRecord c = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
    c.setText(data::Company::Name, "Blue Heron Print");
    c.setText(data::Company::CoAddr2, "Portland, OR 97201");
    add(companies, c);
    r = Find(companies, FindMode::Comp, "97201");
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0].cells[0], "Blue Heron Print");
    EXPECT_EQ(r.rows[0].cells[1], "1");
    EXPECT_EQ(r.rows[0].cells[3], "Portland, OR 97201");
    // A fileblock of another kind is not scanned as if it were one.
    EXPECT_TRUE(Find(products, FindMode::Comp, "B").rows.empty());
    EXPECT_FALSE(Find(products, FindMode::Comp, "B").complete);
}

TEST_F(FindTest, ScanReportsEachSlotSkipsDeletedRecordsAndStopsOnRequest) {
    storage::Fileblock* fb = create(FileKind::Customer);
    std::vector<int32_t> recs;
    for (int i = 1; i <= 6; ++i)
        recs.push_back(add(fb, customer(std::to_string(i), "Name " + std::to_string(i))));
    data::CustomerRecord third = *data::ReadBusinessRecord<data::Customer>(fb, recs[2]);
    ASSERT_TRUE(data::DeleteBusinessRecord(fb, recs[2], third, prompter).ok());

    std::vector<std::pair<int32_t, int32_t>> steps;
    FindResult r = FindRecords(fb, FindMode::Cust, "NAME", [&](int32_t slot, int32_t count) {
        steps.emplace_back(slot, count);
        return true;
    });
    EXPECT_EQ(Column(r, 1), (std::vector<std::string>{"1", "2", "4", "5", "6"}));
    EXPECT_EQ(steps,
              (std::vector<std::pair<int32_t, int32_t>>{{1, 6}, {2, 6}, {4, 6}, {5, 6}, {6, 6}}));

    int calls = 0;
    r = FindRecords(fb, FindMode::Cust, "NAME", [&](int32_t, int32_t) { return ++calls < 2; });
    EXPECT_EQ(r.rows.size(), 2u);
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.engineError, 0);

    // An empty search text matches nothing.
    EXPECT_TRUE(FindRecords(fb, FindMode::Cust, "", nullptr).rows.empty());
}

TEST(FindRows, SortedByAColumnsText) {
    auto row = [](std::string a, std::string b) {
        FindRow r;
        r.cells[0] = std::move(a);
        r.cells[1] = std::move(b);
        return r;
    };
    std::vector<FindRow> rows = {row("2024/03/15", "b"), row("2023/12/01", "A"),
                                 row("2024/03/02", "c"), row("2023/12/01", "a2")};
    SortFindRows(rows, 0);
    EXPECT_EQ(rows[0].cells[1], "A");  // equal texts keep their order
    EXPECT_EQ(rows[1].cells[1], "a2");
    EXPECT_EQ(rows[3].cells[0], "2024/03/15");
    SortFindRows(rows, 1);
    EXPECT_EQ(rows[0].cells[1], "A");
    EXPECT_EQ(rows[1].cells[1], "a2");
    EXPECT_EQ(rows[2].cells[1], "b");
    SortFindRows(rows, 0, true);
    EXPECT_EQ(rows[0].cells[0], "2024/03/15");
    SortFindRows(rows, 9);  // no such column: unchanged
    EXPECT_EQ(rows[0].cells[0], "2024/03/15");
}

}  // namespace
}  // namespace invarro::customers
