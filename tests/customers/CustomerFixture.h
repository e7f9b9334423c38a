// A started engine and a temporary data folder holding company 1 in the company
// fileblock, its customer fileblock open, and helpers that put invoices and lines on file.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "customers/CustEdit.h"
#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/Update.h"
#include "storage/BTree.h"
#include "storage/Engine.h"
#include "storage/Verify.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::customers {

class CustomerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedFloor_ = storage::PoolFloor();
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
        company = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
        company.setText(data::Company::Name, "Northside Supply");
        company.setText(data::Company::NextCustNo, "41");
        const std::string companies = data::FileblockName(dir.path(), data::FileKind::Company);
        ASSERT_TRUE(
            data::CreateBusinessFileblock(companies, data::KindOf(data::FileKind::Company)));
        storage::Fileblock* fb = storage::OpenFileblock(companies, false);
        ASSERT_TRUE(storage::EngineOk);
        ASSERT_TRUE(data::AddBusinessRecord(fb, company, prompter).ok());
        storage::CloseFileblock(fb);
        customers = createOpen(data::FileKind::Customer);
    }
    void TearDown() override {
        if (customers) storage::CloseFileblock(customers);
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

    CustomerFiles files() { return CustomerFiles{dir.path(), company, customers}; }

    // A customer as the editor would add it.
    int32_t addCustomer(const std::string& no, const std::string& custName,
                        const std::string& balance = "0.00") {
        CustomerEntry e = NewCustomerEntry(company);
        e.number = no;
        e.name = custName;
        data::CustomerRecord r = NewCustomerRecord(e);
        r.setText(data::Customer::Balance, balance);
        auto res = data::AddBusinessRecord(customers, r, prompter);
        EXPECT_TRUE(res.ok());
        return res.recNo;
    }

    data::CustomerRecord read(int32_t recNo) {
        auto r = data::ReadBusinessRecord<data::Customer>(customers, recNo);
        EXPECT_TRUE(r);
        return r ? *r : data::CustomerRecord();
    }

    // The company record as the company fileblock holds it.
    data::CompanyRecord storedCompany() {
        storage::Fileblock* fb =
            storage::OpenFileblock(data::FileblockName(dir.path(), data::FileKind::Company), false);
        EXPECT_TRUE(storage::EngineOk);
        auto r = data::ReadBusinessRecord<data::Company>(fb, 1);
        storage::CloseFileblock(fb);
        return r ? *r : data::CompanyRecord();
    }

    invarro::testing::TempDir dir;
    invarro::testing::ScriptedPrompter prompter;
    data::CompanyRecord company;
    storage::Fileblock* customers = nullptr;

  private:
    int savedFloor_ = 0;
};

}  // namespace invarro::customers
