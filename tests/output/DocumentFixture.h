// A started engine and a temporary data folder with company 1's customer, invoice, line
// and memo fileblocks open, and helpers that put customers, invoices, payments, lines
// and memos on file through the record-update protocol.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/Company.h"
#include "data/EInvoiceData.h"
#include "data/Fileblocks.h"
#include "data/Keys.h"
#include "data/Update.h"
#include "output/InvDoc.h"
#include "storage/BTree.h"
#include "storage/Engine.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::output {

class DocumentTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedFloor_ = storage::PoolFloor();
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
        company = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
        company.setText(data::Company::Name, "Northside Supply");
        company.setText(data::Company::CoAddr1, "500 Depot Street");
        company.setText(data::Company::CoAddr2, "Salina, KS 67401");
        company.setText(data::Company::CoAddr3, "(785) 555-0123");
        company.setText(data::Company::TaxHeading, "Sales Tax");
        company.setText(data::Company::QuoteCaption, "Q U O T E");
        files.customers = createOpen(data::FileKind::Customer);
        files.invoices = createOpen(data::FileKind::Invoice);
        files.lines = createOpen(data::FileKind::InvoiceLine);
        files.memos = createOpen(data::FileKind::Memo);
    }
    void TearDown() override {
        for (storage::Fileblock* fb : {files.customers, files.invoices, files.lines, files.memos})
            if (fb) storage::CloseFileblock(fb);
        if (storage::EngineStarted()) storage::ExitEngine();
        storage::SetPoolFloor(savedFloor_);
    }

    storage::Fileblock* createOpen(data::FileKind kind) {
        const std::string name = data::FileblockName(dir.path(), kind, "1");
        EXPECT_TRUE(data::CreateBusinessFileblock(name, data::KindOf(kind)));
        storage::Fileblock* fb = storage::OpenFileblock(name, false);
        EXPECT_TRUE(storage::EngineOk) << storage::EngineError;
        return fb;
    }

    void addCustomer(const std::string& no, const std::string& name,
                     std::vector<std::string> bill = {}, std::vector<std::string> ship = {},
                     const std::string& eMail = "ap@example.com") {
        using C = data::Customer;
        data::CustomerRecord r = data::NewRecord<C>();
        r.setText(C::CustNo, no);
        r.setText(C::Name, name);
        bill.resize(4);
        ship.resize(4);
        r.setText(C::BillAddr1, bill[0]);
        r.setText(C::BillAddr2, bill[1]);
        r.setText(C::BillAddr3, bill[2]);
        r.setText(C::BillAddr4, bill[3]);
        r.setText(C::ShipAddr1, ship[0]);
        r.setText(C::ShipAddr2, ship[1]);
        r.setText(C::ShipAddr3, ship[2]);
        r.setText(C::ShipAddr4, ship[3]);
        r.setText(C::Balance, "1450.75");
        r.setText(C::Age0to30, "1000.00");
        r.setText(C::Age31to60, "450.75");
        r.setText(C::MailSortCode, "WEST");
        r.setText(C::CustType, "Retail");
        r.setText(C::EMail, eMail);
        ASSERT_TRUE(data::AddBusinessRecord(files.customers, r, prompter).ok());
    }

    struct Header {
        std::string no;
        char type = 'I';
        std::string cust = "100";
        std::string total = "0.00";
        std::string tax = "0.00";
        std::string paid = "0.00";
        char style = 'P';
        std::string date = "03/03/2024";
        std::string terms = "Net 30 Days";
        std::string reference = "PO 7781";
        std::string paidDate = {};
        std::string taxRate = {};
        bool printed = false;
    };
    int32_t addHeader(const Header& h) {
        using I = data::Invoice;
        data::InvoiceRecord r = data::NewRecord<I>();
        r.setText(I::InvNo, h.no);
        r.setText(I::TransType, std::string(1, h.type));
        r.setText(I::CustNo, h.cust);
        r.setText(I::CompanyNo, "1");
        auto d = data::ParseUserDate(h.date, data::DateOrder::MonthFirst);
        EXPECT_TRUE(d);
        data::SetInvoiceDate(r, *d, data::DateOrder::MonthFirst);
        r.setText(I::Terms, h.terms);
        r.setText(I::InvNotes, h.reference);
        r.setText(I::InvoiceStyle, std::string(1, h.style));
        const data::Money total = data::MoneyFromStored(h.total);
        const data::Money tax = data::MoneyFromStored(h.tax);
        const data::Money paid = data::MoneyFromStored(h.paid);
        EXPECT_TRUE(r.setMoney(I::Total, total));
        EXPECT_TRUE(r.setMoney(I::Tax, tax));
        EXPECT_TRUE(r.setMoney(I::Net, total - tax));
        EXPECT_TRUE(r.setMoney(I::Paid, paid));
        EXPECT_TRUE(r.setMoney(I::BalanceDue, total - paid));
        r.setText(I::PaidDate, h.paidDate);
        r.setText(I::TaxRate, h.taxRate);
        r.setYes(I::PrintedFlag, h.printed);
        auto res = data::AddBusinessRecord(files.invoices, r, prompter);
        EXPECT_TRUE(res.ok());
        return res.recNo;
    }

    static std::string Pad(const std::string& s, size_t n) {
        std::string t = s.substr(0, n);
        t.resize(n, ' ');
        return t;
    }
    void addLine(const std::string& no, int row, const std::string& code, const std::string& qty,
                 const std::string& desc, const std::string& price, const std::string& taxable,
                 const std::string& ext) {
        using L = data::InvoiceLine;
        data::InvoiceLineRecord r;
        r.setText(L::LineText,
                  Pad(qty, 10) + Pad(desc, 32) + Pad(price, 10) + Pad(taxable, 1) + Pad(ext, 10));
        r.setText(L::LineStyle, "P");
        r.setText(L::LineNo, data::LineNoText(row));
        r.setText(L::InvNo, no);
        r.setText(L::LineDate, "2024/03/03");
        r.setText(L::ProdCode, code);
        r.setText(L::CustNo, "100");
        r.setText(L::LineKey, data::LineKeyText(no, data::LineNoText(row)));
        ASSERT_TRUE(data::AddBusinessRecord(files.lines, r, prompter).ok());
    }
    void addMemo(const std::string& no, const std::vector<std::string>& lines) {
        data::MemoRecord r;
        r.setText(data::Memo::InvNo, no);
        data::SetMemoLines(r, lines);
        ASSERT_TRUE(data::AddBusinessRecord(files.memos, r, prompter).ok());
    }

    // Keeps the company's e-invoicing and bank settings as Company Options does.
    void keepEInvoiceSettings(const data::CompanyEInvoice& e) {
        data::IniFile ini(data::IniFilePath(dir.path()));
        ASSERT_TRUE(data::WriteCompanyEInvoice(ini, company.text(data::Company::CompanyNo), e));
    }

    // Company 1 invoices in euro and is paid to an account, as its settings keep it.
    void euroAccount() {
        data::CompanyEInvoice e;
        e.currency = "EUR";
        e.iban = "DE02 1203 0000 0000 2020 51";
        e.bic = "BYLADEM1001";
        e.paper = "A4";
        keepEInvoiceSettings(e);
    }

    InvoiceDocument assemble(const std::string& no) {
        return AssembleInvoiceDocument(files, no, company, prompter);
    }
    data::InvoiceRecord header(int32_t recNo) {
        auto r = data::ReadBusinessRecord<data::Invoice>(files.invoices, recNo);
        EXPECT_TRUE(r);
        return r ? *r : data::InvoiceRecord();
    }

    // A line-item invoice 1043 of 3 lines for customer 100, with tax.
    void sampleInvoice() {
        addCustomer("100", "Harborview Dental Group",
                    {"1420 Marina Blvd", "Suite 200", "", "San Leandro, CA 94577"},
                    {"Receiving", "1420 Marina Blvd", "Dock 2", "San Leandro, CA 94577"});
        Header h;
        h.no = "1043";
        h.total = "1082.50";
        h.tax = "82.50";
        h.taxRate = "8.25";
        addHeader(h);
        addLine("1043", 1, "TONER-12", "2", "Toner cartridge, black", "450.00", "Y", "900.00");
        addLine("1043", 2, "PAPER", "10.5", "Copy paper, case", "9.5238", "Y", "100.00");
        addLine("1043", 3, "", "", "Delivered Tuesday", "", "", "");
    }

    invarro::testing::TempDir dir;
    invarro::testing::ScriptedPrompter prompter;
    data::CompanyRecord company;
    DocumentFiles files;

  private:
    int savedFloor_ = 0;
};

}  // namespace invarro::output
