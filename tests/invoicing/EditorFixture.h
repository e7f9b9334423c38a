// A started engine and a temporary data folder with company 1 in the company file, its
// customer, invoice, line and memo fileblocks open, a pinned date, and helpers that fill
// an editor and read back what a save wrote.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "customers/CustEdit.h"
#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/Keys.h"
#include "data/Update.h"
#include "invoicing/InvEdit.h"
#include "storage/BTree.h"
#include "storage/Engine.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::invoicing {

class EditorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedFloor_ = storage::PoolFloor();
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
        ForgetInvoiceDate();
        company = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
        company.setText(data::Company::Name, "Northside Supply");
        company.setText(data::Company::NextInvNo, "1051");
        company.setText(data::Company::DefTaxRate, "7");
        company.setText(data::Company::DefInvQty, "1.00");
        company.setText(data::Company::DefTerms, "Net 30 Days");
        company.setByte(data::Company::CalcTaxes, 1);
        company.setText(data::Company::ARBalance, "1000.00");
        const std::string companies = data::FileblockName(dir.path(), data::FileKind::Company);
        ASSERT_TRUE(
            data::CreateBusinessFileblock(companies, data::KindOf(data::FileKind::Company)));
        storage::Fileblock* fb = storage::OpenFileblock(companies, false);
        ASSERT_TRUE(storage::EngineOk);
        ASSERT_TRUE(data::AddBusinessRecord(fb, company, prompter).ok());
        storage::CloseFileblock(fb);
        customers = createOpen(data::FileKind::Customer);
        invoices = createOpen(data::FileKind::Invoice);
        lines = createOpen(data::FileKind::InvoiceLine);
        memos = createOpen(data::FileKind::Memo);
        custRec = addCustomer("C100", "Acme Corp", "500.00");
    }
    void TearDown() override {
        for (storage::Fileblock** fb : {&customers, &invoices, &lines, &memos})
            if (*fb) storage::CloseFileblock(*fb);
        if (storage::EngineStarted()) storage::ExitEngine();
        storage::SetPoolFloor(savedFloor_);
        ForgetInvoiceDate();
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

    int32_t addCustomer(const std::string& no, const std::string& custName,
                        const std::string& balance = "0.00") {
        customers::CustomerEntry e = customers::NewCustomerEntry(company);
        e.number = no;
        e.name = custName;
        customers::ApplyShortNameRule(e);
        data::CustomerRecord r = customers::NewCustomerRecord(e);
        r.setText(data::Customer::Balance, balance);
        r.setText(data::Customer::Age0to30, balance);
        auto res = data::AddBusinessRecord(customers, r, prompter);
        EXPECT_TRUE(res.ok());
        return res.recNo;
    }
    data::CustomerRecord customer(int32_t recNo) {
        auto r = data::ReadBusinessRecord<data::Customer>(customers, recNo);
        EXPECT_TRUE(r);
        return r ? *r : data::CustomerRecord();
    }
    data::InvoiceRecord invoice(int32_t recNo) {
        auto r = data::ReadBusinessRecord<data::Invoice>(invoices, recNo);
        EXPECT_TRUE(r);
        return r ? *r : data::InvoiceRecord();
    }
    data::CompanyRecord storedCompany() {
        storage::Fileblock* fb =
            storage::OpenFileblock(data::FileblockName(dir.path(), data::FileKind::Company), false);
        EXPECT_TRUE(storage::EngineOk);
        auto r = data::ReadBusinessRecord<data::Company>(fb, 1);
        storage::CloseFileblock(fb);
        return r ? *r : data::CompanyRecord();
    }

    // Writes the company in memory to the company file.
    void storeCompany() {
        storage::Fileblock* fb =
            storage::OpenFileblock(data::FileblockName(dir.path(), data::FileKind::Company), false);
        ASSERT_TRUE(storage::EngineOk);
        storage::PutRecord(fb, 1, company.data());
        EXPECT_TRUE(storage::EngineOk);
        storage::CloseFileblock(fb);
    }

    SaveFiles files() {
        return SaveFiles{dir.path(), company, invoices, lines,         memos,
                         customers,  today,   &labels,  &labelsWaiting};
    }

    // A new invoice for the customer, with the rows given (code, qty, desc, price, flag).
    InvoiceEditor newEditor(int32_t custRecNo = 0) {
        InvoiceEditor ed = InvoiceEditor::ForNew(company, data::DateOrder::MonthFirst, today);
        ed.chooseCustomer(customer(custRecNo ? custRecNo : custRec), prompter);
        return ed;
    }
    static void setRow(InvoiceEditor& ed, int r, std::string code, std::string qty,
                       std::string desc, std::string price, std::string flag = "Y") {
        ed.entry.grid[r] = LineRow{code, qty, desc, price, flag, ""};
        ed.cellEdited(r);
    }
    SaveResult saveNew(InvoiceEditor& ed) {
        SaveFiles f = files();
        return SaveNewInvoice(f, ed, prompter);
    }
    // The editor for stored invoice recNo, as the manager opens it.
    InvoiceEditor editorFor(int32_t recNo) {
        data::InvoiceRecord rec = invoice(recNo);
        std::vector<data::InvoiceLineRecord> ls;
        for (auto& [n, l] : StoredLines(lines, rec.text(data::Invoice::InvNo)))
            ls.push_back(l);
        std::optional<data::MemoRecord> memo;
        if (auto m = StoredMemo(memos, rec.text(data::Invoice::InvNo))) memo = m->second;
        return InvoiceEditor::ForEdit(company, data::DateOrder::MonthFirst, rec, ls, memo,
                                      customer(custRec));
    }
    SaveResult saveEdit(InvoiceEditor& ed, int32_t recNo) {
        SaveFiles f = files();
        return SaveInvoiceEdit(f, ed, recNo, invoice(recNo), prompter);
    }
    // Every key of every file has one entry per live record.
    void checkKeys() {
        for (storage::Fileblock* fb : {customers, invoices, lines, memos}) {
            const int32_t used = storage::UsedRecordCount(fb);
            for (int k = 1; k <= storage::KeyCountOf(fb); ++k)
                EXPECT_EQ(storage::KeyCount(fb, k), used) << "key " << k;
        }
    }

    invarro::testing::TempDir dir;
    invarro::testing::ScriptedPrompter prompter;
    data::CompanyRecord company;
    data::Date today{2024, 3, 15};
    output::LabelQueue labels;
    bool labelsWaiting = false;
    storage::Fileblock* customers = nullptr;
    storage::Fileblock* invoices = nullptr;
    storage::Fileblock* lines = nullptr;
    storage::Fileblock* memos = nullptr;
    int32_t custRec = 0;

  private:
    int savedFloor_ = 0;
};

}  // namespace invarro::invoicing
