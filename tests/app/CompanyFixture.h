// A started engine, an empty temporary data folder, and helpers that put companies,
// customers, invoices and products into it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/Update.h"
#include "storage/Engine.h"
#include "storage/Verify.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::app {

class CompanyFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedFloor_ = storage::PoolFloor();
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
    }
    void TearDown() override {
        if (storage::EngineStarted()) storage::ExitEngine();
        storage::SetPoolFloor(savedFloor_);
    }

    const std::string& folder() const { return dir.path(); }
    std::string name(data::FileKind kind, const std::string& prefix = "1") const {
        return data::FileblockName(dir.path(), kind, prefix);
    }

    // Opens the fileblock, creating it when it is missing.
    storage::Fileblock* open(data::FileKind kind, const std::string& prefix = "1") {
        const std::string n = name(kind, prefix);
        storage::Fileblock* fb = storage::OpenFileblock(n, false);
        if (!storage::EngineOk) {
            EXPECT_TRUE(data::CreateBusinessFileblock(n, data::KindOf(kind)));
            fb = storage::OpenFileblock(n, false);
        }
        EXPECT_TRUE(storage::EngineOk) << storage::EngineError;
        return fb;
    }

    static data::CompanyRecord MakeCompany(const std::string& number, const std::string& name,
                                           const std::string& balance = "0.00") {
        data::CompanyRecord c = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
        c.setText(data::Company::CompanyNo, number);
        c.setText(data::Company::Name, name);
        c.setText(data::Company::ARBalance, balance);
        return c;
    }

    // Adds a record of layout L to an open fileblock; gives its record number.
    template <class L>
    int32_t add(storage::Fileblock* fb, const data::Record<L>& r) {
        data::UpdateResult u = data::AddBusinessRecord(fb, r, prompter);
        EXPECT_TRUE(u.ok()) << u.engineError;
        return u.recNo;
    }

    void expectSound(const std::string& fileblock) {
        auto problems = storage::CheckFileblock(fileblock);
        EXPECT_TRUE(problems.empty()) << fileblock << ": " << problems.front();
    }

    invarro::testing::TempDir dir;
    invarro::testing::ScriptedPrompter prompter;

  private:
    int savedFloor_ = 0;
};

}  // namespace invarro::app
