// Statements of the demo installation against the books: every customer's statement adds
// up to the balance on the customer record, quotes and repeat masters stay out, and the
// statement's aging is the one the aging run stored; the batch date reaches the file.
#include "output/CStmnt.h"

#include <gtest/gtest.h>

#include <set>

#include "app/Demo.h"
#include "data/Fileblocks.h"
#include "data/Keys.h"
#include "data/Update.h"
#include "invoicing/Receivables.h"
#include "storage/BTree.h"
#include "storage/Engine.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::invoicing {
namespace {

using data::Company;
using data::Customer;
using data::Money;

class DemoStatements : public ::testing::Test {
  protected:
    void SetUp() override {
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
        app::InstallResult r = app::CreateDemoInstallation(dir.path(), prompter);
        ASSERT_TRUE(r.ok) << r.message;
        company = readCompany();
        customers = open(data::FileKind::Customer);
        invoices = open(data::FileKind::Invoice);
    }
    void TearDown() override {
        for (storage::Fileblock* fb : {customers, invoices})
            if (fb) storage::CloseFileblock(fb);
        storage::ExitEngine();
    }
    storage::Fileblock* open(data::FileKind kind) {
        storage::Fileblock* fb =
            storage::OpenFileblock(data::FileblockName(dir.path(), kind, "1"), false);
        EXPECT_TRUE(storage::EngineOk);
        return fb;
    }
    data::CompanyRecord readCompany() {
        storage::Fileblock* companies =
            storage::OpenFileblock(data::FileblockName(dir.path(), data::FileKind::Company), false);
        data::CompanyRecord probe;
        probe.setText(Company::CompanyNo, "1");
        data::CompanyRecord c = data::FindAtOrAfter<Company>(companies, 1, probe)->record;
        storage::CloseFileblock(companies);
        return c;
    }
    invarro::testing::TempDir dir;
    invarro::testing::ScriptedPrompter prompter;
    data::CompanyRecord company;
    storage::Fileblock* customers = nullptr;
    storage::Fileblock* invoices = nullptr;
};

TEST_F(DemoStatements, EveryStatementAddsUpToTheCustomerBalanceAndSomeSpanThePeriods) {
    const auto limits = invoicing::AgingLimitsOf(company);
    ASSERT_TRUE(limits);
    std::string key;
    int32_t recNo = storage::FindKeyAtOrAfter(customers, 1, key);
    int statements = 0, spanning = 0;
    std::set<char> types;
    while (storage::EngineOk) {
        auto c = data::ReadBusinessRecord<Customer>(customers, recNo);
        ASSERT_TRUE(c);
        const std::string no = data::TrimmedText(c->text(Customer::CustNo));
        for (bool unpaid : {false, true}) {
            const output::Statement s =
                output::BuildStatement({customers, invoices}, no, unpaid, company);
            ASSERT_FALSE(s.readError);
            EXPECT_EQ(s.balanceSum, c->money(Customer::Balance)) << no << " " << unpaid;
            for (const auto& r : s.rows) {
                EXPECT_NE(r.type, 'Q') << no;
                EXPECT_NE(r.type, 'R') << no;
                types.insert(r.type);
            }
            EXPECT_EQ(s.aging[0] + s.aging[1] + s.aging[2] + s.aging[3],
                      c->money(Customer::Balance))
                << no;
            if (!unpaid && s.hasActivity()) ++statements;
            if (unpaid) {
                // The periods the listed balances fall into, by the one age rule.
                std::set<int> periods;
                const data::Date today = data::Today(platform::SystemClock());
                for (const auto& r : s.rows)
                    if (auto d = data::ParseSortDate(r.sortDate))
                        periods.insert(
                            invoicing::AgingBucket(data::DaysBetween(*d, today), *limits));
                if (periods.size() >= 3) ++spanning;
            }
        }
        storage::NextKey(customers, 1, key, recNo);
    }
    EXPECT_GE(statements, 5);
    EXPECT_GE(spanning, 1);
    for (char t : {'I', 'X', 'Z', 'D'})
        EXPECT_TRUE(types.count(t)) << t;
}

TEST_F(DemoStatements, LastBatchDateReachesTheFileAndMemory) {
    data::CompanyRecord inUse = company;
    ASSERT_TRUE(output::StoreLastBatchDate(dir.path(), inUse, data::Date{2026, 3, 9}, prompter));
    EXPECT_EQ(data::TrimmedText(inUse.text(Company::LastBatchStmntDate)), "03/09/2026");
    EXPECT_EQ(data::TrimmedText(readCompany().text(Company::LastBatchStmntDate)), "03/09/2026");
    // A company that is not on file changes nothing in memory.
    data::CompanyRecord missing = company;
    missing.setText(Company::CompanyNo, "777");
    EXPECT_FALSE(
        output::StoreLastBatchDate(dir.path(), missing, data::Date{2026, 3, 10}, prompter));
    EXPECT_EQ(data::TrimmedText(missing.text(Company::LastBatchStmntDate)),
              data::TrimmedText(company.text(Company::LastBatchStmntDate)));
}

}  // namespace
}  // namespace invarro::invoicing
