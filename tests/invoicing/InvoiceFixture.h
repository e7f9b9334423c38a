// A started engine and a temporary data folder holding company 1 in the company
// fileblock, its customer file and its open invoice, line and memo files, with helpers
// that put transactions on file through the record-update protocol.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/Ansi.h"
#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/Keys.h"
#include "data/Money.h"
#include "data/Update.h"
#include "invoicing/InvManage.h"
#include "platform/Clock.h"
#include "storage/BTree.h"
#include "storage/Engine.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::invoicing::testing {

// One transaction as a test wants it.
struct Draft {
    std::string no{};
    char type = 'I';
    std::string cust = "1001";
    data::Date date{2024, 3, 1};
    std::string total = "100.00";
    std::string paid = "0.00";
    char style = 'P';
    bool printed = false;
    int lines = 0;      // line records to write
    bool memo = false;  // write a memo record
    std::string keyCode = "None";
    std::string eMailed{};
    std::string nextDue{};
    std::string created{};
};

// The header of the spec as the editor would store it.
inline data::InvoiceRecord MakeInvoice(const Draft& s, data::DateOrder order) {
    using data::Invoice;
    data::InvoiceRecord r = data::NewRecord<Invoice>();
    r.setText(Invoice::InvNo, s.no);
    r.setText(Invoice::TransType, std::string(1, s.type));
    r.setText(Invoice::KeyCode, s.keyCode);
    r.setText(Invoice::CustNo, s.cust);
    r.setText(Invoice::CompanyNo, "1");
    data::SetInvoiceDate(r, s.date, order);
    r.setText(Invoice::InvoiceStyle, std::string(1, s.style));
    r.setText(Invoice::ShortName, "Short" + s.cust);
    const data::Money total = data::MoneyFromStored(s.total);
    const data::Money paid = data::MoneyFromStored(s.paid);
    const data::Money due = total - paid;
    EXPECT_TRUE(r.setMoney(Invoice::Net, total));
    EXPECT_TRUE(r.setMoney(Invoice::Total, total));
    EXPECT_TRUE(r.setMoney(Invoice::Paid, paid));
    EXPECT_TRUE(r.setMoney(Invoice::BalanceDue, due));
    if (due.isZero()) {
        r.setText(Invoice::PaidFlag, "P");
        r.setText(Invoice::PaidDate, data::FormatSortDate(s.date));
    }
    r.setText(Invoice::PrintedFlag, s.printed ? "Y" : "N");
    r.setText(Invoice::EMailedOn, s.eMailed);
    r.setText(Invoice::NextDue, s.nextDue);
    r.setText(Invoice::RepeatCreated, s.created.empty() ? "0" : s.created);
    r.setText(Invoice::RepeatEvery, "0");
    return r;
}

class InvoiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedFloor_ = storage::PoolFloor();
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
        company = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
        company.setText(data::Company::Name, "Northside Supply");
        ASSERT_TRUE(company.setMoney(data::Company::ARBalance, data::Money::FromCents(100000)));
        company.setText(data::Company::AgingDays1, "30");
        company.setText(data::Company::AgingDays2, "60");
        company.setText(data::Company::AgingDays3, "90");
        const std::string companies = data::FileblockName(dir.path(), data::FileKind::Company);
        ASSERT_TRUE(
            data::CreateBusinessFileblock(companies, data::KindOf(data::FileKind::Company)));
        storage::Fileblock* fb = storage::OpenFileblock(companies, false);
        ASSERT_TRUE(storage::EngineOk);
        ASSERT_TRUE(data::AddBusinessRecord(fb, company, prompter).ok());
        storage::CloseFileblock(fb);
        ASSERT_TRUE(data::CreateBusinessFileblock(name(data::FileKind::Customer),
                                                  data::KindOf(data::FileKind::Customer)));
        invoices = createOpen(data::FileKind::Invoice);
        lines = createOpen(data::FileKind::InvoiceLine);
        memos = createOpen(data::FileKind::Memo);
    }
    void TearDown() override {
        for (storage::Fileblock** fb : {&invoices, &lines, &memos})
            if (*fb) storage::CloseFileblock(*fb);
        if (storage::EngineStarted()) storage::ExitEngine();
        storage::SetPoolFloor(savedFloor_);
    }

    std::string name(data::FileKind kind) const {
        return data::FileblockName(dir.path(), kind, "1");
    }
    storage::Fileblock* createOpen(data::FileKind kind) {
        EXPECT_TRUE(data::CreateBusinessFileblock(name(kind), data::KindOf(kind)));
        storage::Fileblock* fb = storage::OpenFileblock(name(kind), false);
        EXPECT_TRUE(storage::EngineOk) << storage::EngineError;
        return fb;
    }

    InvoiceFiles files() { return InvoiceFiles{dir.path(), company, invoices, lines, memos}; }
    data::DateOrder order() const {
        return data::DateOrderFromCode(company.text(data::Company::DateFormatCode));
    }

    // A customer with a balance and aging amounts in cents.
    void addCustomer(const std::string& no, int64_t balance, std::array<int64_t, 4> aging = {}) {
        using data::Customer;
        storage::Fileblock* fb = storage::OpenFileblock(name(data::FileKind::Customer), false);
        ASSERT_TRUE(storage::EngineOk);
        data::CustomerRecord c = data::NewRecord<Customer>();
        c.setText(Customer::CustNo, no);
        c.setText(Customer::Name, "Customer " + no);
        c.setText(Customer::ShortName, "Short" + no);
        c.setText(Customer::Phone1, "(515) 555-0100");
        c.setText(Customer::LastPayDate, "02/15/2024");
        c.setText(Customer::LastInvNo, "77");
        EXPECT_TRUE(c.setMoney(Customer::Balance, data::Money::FromCents(balance)));
        EXPECT_TRUE(c.setMoney(Customer::Age0to30, data::Money::FromCents(aging[0])));
        EXPECT_TRUE(c.setMoney(Customer::Age31to60, data::Money::FromCents(aging[1])));
        EXPECT_TRUE(c.setMoney(Customer::Age61to90, data::Money::FromCents(aging[2])));
        EXPECT_TRUE(c.setMoney(Customer::AgeOver90, data::Money::FromCents(aging[3])));
        EXPECT_TRUE(data::AddBusinessRecord(fb, c, prompter).ok());
        storage::CloseFileblock(fb);
    }
    data::CustomerRecord customer(const std::string& no) {
        storage::Fileblock* fb = storage::OpenFileblock(name(data::FileKind::Customer), false);
        EXPECT_TRUE(storage::EngineOk);
        data::CustomerRecord probe;
        probe.setText(data::Customer::CustNo, no);
        auto found = data::FindAtOrAfter<data::Customer>(fb, 2, probe);
        storage::CloseFileblock(fb);
        EXPECT_TRUE(found);
        return found ? found->record : data::CustomerRecord();
    }
    data::CompanyRecord storedCompany() {
        storage::Fileblock* fb =
            storage::OpenFileblock(data::FileblockName(dir.path(), data::FileKind::Company), false);
        EXPECT_TRUE(storage::EngineOk);
        auto r = data::ReadBusinessRecord<data::Company>(fb, 1);
        storage::CloseFileblock(fb);
        return r ? *r : data::CompanyRecord();
    }

    // Puts the transaction, its lines and its memo on file; returns the header's number.
    int32_t add(const Draft& s) {
        using data::InvoiceLine;
        data::InvoiceRecord r = MakeInvoice(s, order());
        auto res = data::AddBusinessRecord(invoices, r, prompter);
        EXPECT_TRUE(res.ok());
        for (int i = 1; i <= s.lines; ++i) {
            data::InvoiceLineRecord l = data::NewRecord<InvoiceLine>();
            l.setText(InvoiceLine::InvNo, s.no);
            l.setText(InvoiceLine::LineNo, data::LineNoText(i));
            l.setText(InvoiceLine::LineKey, data::LineKeyText(s.no, data::LineNoText(i)));
            l.setText(InvoiceLine::LineDate, data::FormatSortDate(s.date));
            l.setText(InvoiceLine::LineStyle, std::string(1, s.style));
            l.setText(InvoiceLine::CustNo, s.cust);
            l.setText(InvoiceLine::LineText, "1         Line " + std::to_string(i));
            EXPECT_TRUE(data::AddBusinessRecord(lines, l, prompter).ok());
        }
        if (s.memo) {
            data::MemoRecord m;
            m.setText(data::Memo::InvNo, s.no);
            data::SetMemoLines(m, {"Memo of " + s.no});
            EXPECT_TRUE(data::AddBusinessRecord(memos, m, prompter).ok());
        }
        return res.recNo;
    }
    data::InvoiceRecord read(int32_t recNo) {
        auto r = data::ReadBusinessRecord<data::Invoice>(invoices, recNo);
        EXPECT_TRUE(r);
        return r ? *r : data::InvoiceRecord();
    }

    // The line records of exactly this number.
    int linesOf(const std::string& no) {
        int n = 0;
        for (int32_t rec = storage::NextUsedRecord(lines, 0); storage::EngineOk && rec > 0;
             rec = storage::NextUsedRecord(lines, rec)) {
            auto l = data::ReadBusinessRecord<data::InvoiceLine>(lines, rec);
            if (l && data::TrimmedText(l->text(data::InvoiceLine::InvNo)) == no) ++n;
        }
        return n;
    }
    bool hasMemo(const std::string& no) {
        data::MemoRecord probe;
        probe.setText(data::Memo::InvNo, no);
        auto found = data::FindAtOrAfter<data::Memo>(memos, 1, probe);
        return found && found->key == data::MemoKey(probe, 1);
    }

    invarro::testing::TempDir dir;
    invarro::testing::ScriptedPrompter prompter;
    platform::FixedClock clock{platform::LocalDateTime{2024, 4, 15, 10, 0, 0}};
    data::CompanyRecord company;
    storage::Fileblock* invoices = nullptr;
    storage::Fileblock* lines = nullptr;
    storage::Fileblock* memos = nullptr;

  private:
    int savedFloor_ = 0;
};

}  // namespace invarro::invoicing::testing
