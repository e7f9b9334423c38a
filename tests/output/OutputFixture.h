// A started engine and a temporary data folder with a customer fileblock of company 1, and
// a company record with a name and address, for the label and letter tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/Records.h"
#include "data/Update.h"
#include "storage/Engine.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::output {

// A customer with a number, a name, billing lines 1, 3 and 4 and a first shipping line.
inline data::CustomerRecord SampleCustomer(const std::string& no, const std::string& name) {
    data::CustomerRecord c = data::NewRecord<data::Customer>();
    c.setText(data::Customer::CustNo, no);
    c.setText(data::Customer::Name, name);
    c.setText(data::Customer::BillAddr1, name + " Street 1");
    c.setText(data::Customer::BillAddr2, "");
    c.setText(data::Customer::BillAddr3, "Town " + no);
    c.setText(data::Customer::BillAddr4, "Country");
    c.setText(data::Customer::ShipAddr1, "Dock " + no);
    return c;
}

class CustomerFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedFloor_ = storage::PoolFloor();
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
        company = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
        company.setText(data::Company::Name, "Harbor Light Print");
        company.setText(data::Company::CoAddr1, "1420 Water Street");
        company.setText(data::Company::CoAddr2, "Portland, ME 04101");
        company.setText(data::Company::CoAddr3, "(207) 555-0142");
        company.setText(data::Company::CoAddr4, "");
        company.setText(data::Company::CoAddr5, "Fifth line");
        const std::string name =
            data::FileblockName(dir.path(), data::FileKind::Customer, std::string("1"));
        ASSERT_TRUE(data::CreateBusinessFileblock(name, data::KindOf(data::FileKind::Customer)));
        customers = storage::OpenFileblock(name, false);
        ASSERT_TRUE(storage::EngineOk);
    }
    void TearDown() override {
        if (customers) storage::CloseFileblock(customers);
        if (storage::EngineStarted()) storage::ExitEngine();
        storage::SetPoolFloor(savedFloor_);
    }

    int32_t add(const data::CustomerRecord& c) {
        auto r = data::AddBusinessRecord(customers, c, prompter);
        EXPECT_TRUE(r.ok());
        return r.recNo;
    }

    testing::TempDir dir;
    testing::ScriptedPrompter prompter;
    data::CompanyRecord company;
    storage::Fileblock* customers = nullptr;

  private:
    int savedFloor_ = 0;
};

}  // namespace invarro::output
