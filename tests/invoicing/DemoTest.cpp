// The demo installation's invoice history: every stored invoice reopens in the editor
// with the amounts it was saved with, and the balances add up.

#include <gtest/gtest.h>

#include <map>

#include "app/Demo.h"
#include "data/Fileblocks.h"
#include "data/Update.h"
#include "invoicing/InvEdit.h"
#include "storage/Engine.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::invoicing {
namespace {

using data::Customer;
using data::Invoice;
using data::Money;

TEST(DemoInvoices, ReopenWithTheirAmountsAndBalancesAddUp) {
    storage::SetPoolFloor(0);
    ASSERT_EQ(storage::InitEngine(30), 30);
    invarro::testing::TempDir dir;
    invarro::testing::ScriptedPrompter prompter;
    app::InstallResult r = app::CreateDemoInstallation(dir.path(), prompter);
    ASSERT_TRUE(r.ok) << r.message;
    for (const char* prefix : {"1", "2"}) {
        auto open = [&](data::FileKind kind) {
            storage::Fileblock* fb =
                storage::OpenFileblock(data::FileblockName(dir.path(), kind, prefix), false);
            EXPECT_TRUE(storage::EngineOk) << prefix;
            return fb;
        };
        storage::Fileblock* companies =
            storage::OpenFileblock(data::FileblockName(dir.path(), data::FileKind::Company), false);
        data::CompanyRecord probe;
        probe.setText(data::Company::CompanyNo, prefix);
        data::CompanyRecord company =
            data::FindAtOrAfter<data::Company>(companies, 1, probe)->record;
        storage::CloseFileblock(companies);
        storage::Fileblock* invoices = open(data::FileKind::Invoice);
        storage::Fileblock* lines = open(data::FileKind::InvoiceLine);
        storage::Fileblock* memos = open(data::FileKind::Memo);
        storage::Fileblock* customers = open(data::FileKind::Customer);

        std::map<std::string, Money> openByCustomer;
        Money receivables;
        int count = 0, quotes = 0, memoCount = 0, discounts = 0, subTotals = 0, noCharge = 0;
        int masters = 0, generated = 0, interest = 0;
        std::map<std::string, int> styles;
        for (int32_t rec = storage::NextUsedRecord(invoices, 0); storage::EngineOk && rec > 0;
             rec = storage::NextUsedRecord(invoices, rec)) {
            auto inv = data::ReadBusinessRecord<Invoice>(invoices, rec);
            ASSERT_TRUE(inv);
            ++count;
            const std::string number = inv->text(Invoice::InvNo);
            // Payment and deposit records carry no lines of their own; they count with their
            // balance (a deposit not yet used is a credit).
            const std::string type = inv->text(Invoice::TransType);
            if (type == "X" || type == "D" || type == "T") {
                openByCustomer[inv->text(Invoice::CustNo)] += inv->money(Invoice::BalanceDue);
                receivables += inv->money(Invoice::BalanceDue);
                continue;
            }
            std::vector<data::InvoiceLineRecord> ls;
            for (auto& [n, l] : StoredLines(lines, number)) {
                ls.push_back(l);
                const std::string text = l.text(data::InvoiceLine::LineText);
                discounts += text.find("% Discount on") != std::string::npos;
                subTotals += text.find("*** Sub-Total") != std::string::npos;
            }
            std::optional<data::MemoRecord> memo;
            if (auto m = StoredMemo(memos, number)) memo = m->second;
            InvoiceEditor ed = InvoiceEditor::ForEdit(
                company, data::DateOrderFromCode(company.text(data::Company::DateFormatCode)), *inv,
                ls, memo, std::nullopt);
            EXPECT_EQ(ed.totals().net, inv->money(Invoice::Net)) << number;
            EXPECT_EQ(ed.totals().tax, inv->money(Invoice::Tax)) << number;
            EXPECT_EQ(ed.totals().total, inv->money(Invoice::Total)) << number;
            if (inv->text(Invoice::TransType) == "Q") {
                ++quotes;
                continue;
            }
            // Repeat masters are no receivables; they generate the G invoices.
            if (inv->text(Invoice::TransType) == "R") {
                ++masters;
                EXPECT_TRUE(inv->money(Invoice::BalanceDue).isZero()) << number;
                continue;
            }
            generated += inv->text(Invoice::TransType) == "G";
            interest += inv->text(Invoice::KeyCode) == "Interest";
            memoCount += inv->text(Invoice::InvoiceStyle) == "M";
            noCharge += inv->money(Invoice::Total).isZero();
            // An invoice settled through partial payments keeps its paid amount.
            if (type != "Z") {
                EXPECT_EQ(inv->money(Invoice::BalanceDue),
                          inv->money(Invoice::Total) - inv->money(Invoice::Paid));
            }
            openByCustomer[inv->text(Invoice::CustNo)] += inv->money(Invoice::BalanceDue);
            receivables += inv->money(Invoice::BalanceDue);
        }
        EXPECT_GE(count, 200) << prefix;
        EXPECT_GT(quotes, 5);
        EXPECT_GT(memoCount, 5);
        EXPECT_GT(discounts, 5);
        EXPECT_GT(subTotals, 5);
        EXPECT_GT(noCharge, 0);
        EXPECT_GE(masters, 2) << prefix;
        EXPECT_GT(generated, masters) << prefix;
        EXPECT_GT(interest, 0) << prefix;
        EXPECT_EQ(company.money(data::Company::ARBalance), receivables) << prefix;
        // Every customer's balance and aging periods hold exactly its open invoices.
        std::array<Money, 4> periods{};
        for (int32_t rec = storage::NextUsedRecord(customers, 0); storage::EngineOk && rec > 0;
             rec = storage::NextUsedRecord(customers, rec)) {
            auto c = data::ReadBusinessRecord<Customer>(customers, rec);
            ASSERT_TRUE(c);
            const Money open = openByCustomer[c->text(Customer::CustNo)];
            EXPECT_EQ(c->money(Customer::Balance), open) << c->text(Customer::Name);
            EXPECT_EQ(c->money(Customer::Age0to30) + c->money(Customer::Age31to60) +
                          c->money(Customer::Age61to90) + c->money(Customer::AgeOver90),
                      open);
            periods[0] += c->money(Customer::Age0to30);
            periods[1] += c->money(Customer::Age31to60);
            periods[2] += c->money(Customer::Age61to90);
            periods[3] += c->money(Customer::AgeOver90);
        }
        for (int k = 0; k < 4; ++k)
            EXPECT_GT(periods[size_t(k)], Money())
                << "period " << k + 1 << " of company " << prefix;
        for (storage::Fileblock* fb : {invoices, lines, memos, customers})
            storage::CloseFileblock(fb);
    }
    storage::ExitEngine();
}

}  // namespace
}  // namespace invarro::invoicing
