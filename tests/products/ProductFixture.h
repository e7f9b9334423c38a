// A started engine and a temporary data folder holding company 1 with its product
// fileblock open, and a helper that adds products as the editor adds them.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/Update.h"
#include "products/ProdEdit.h"
#include "storage/Engine.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::products {

class ProductTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedFloor_ = storage::PoolFloor();
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
        company = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
        company.setText(data::Company::Name, "Northside Supply");
        ASSERT_TRUE(
            data::CreateBusinessFileblock(fileName(), data::KindOf(data::FileKind::Product)));
        products = storage::OpenFileblock(fileName(), false);
        ASSERT_TRUE(storage::EngineOk) << storage::EngineError;
    }
    void TearDown() override {
        if (products) storage::CloseFileblock(products);
        if (storage::EngineStarted()) storage::ExitEngine();
        storage::SetPoolFloor(savedFloor_);
    }

    std::string fileName() const {
        return data::FileblockName(dir.path(), data::FileKind::Product, "1");
    }

    // A product as the editor adds it (the checks must pass).
    int32_t add(const std::string& code, const std::string& description,
                const std::string& price = "0.00", bool taxable = false) {
        ProductEntry e = NewProductEntry("03/01/2024");
        e.code = code;
        e.description = description;
        e.price = price;
        e.taxable = taxable;
        EXPECT_FALSE(CheckProductEntry(e, kAddStartingCode, products)) << code;
        return AddProduct(products, e, "03/01/2024", prompter);
    }

    data::ProductRecord read(int32_t recNo) {
        auto r = data::ReadBusinessRecord<data::Product>(products, recNo);
        EXPECT_TRUE(r);
        return r ? *r : data::ProductRecord();
    }

    invarro::testing::TempDir dir;
    invarro::testing::ScriptedPrompter prompter;
    data::CompanyRecord company;
    storage::Fileblock* products = nullptr;

  private:
    int savedFloor_ = 0;
};

}  // namespace invarro::products
