// A started engine, a temporary data folder, and a picture of a fileblock's contents
// (live records and every key's entries) to compare before and after an operation.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/Fileblocks.h"
#include "storage/BTree.h"
#include "storage/Engine.h"
#include "storage/EngineTesting.h"
#include "storage/Verify.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::data {

class DataTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedFloor_ = storage::PoolFloor();
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
    }
    void TearDown() override {
        storage::ClearFaults();
        if (storage::EngineStarted()) storage::ExitEngine();
        storage::SetPoolFloor(savedFloor_);
    }

    std::string name(FileKind kind, const std::string& prefix = "1") const {
        return FileblockName(dir.path(), kind, prefix);
    }

    storage::Fileblock* createOpen(FileKind kind, const std::string& prefix = "1") {
        EXPECT_TRUE(CreateBusinessFileblock(name(kind, prefix), KindOf(kind)));
        storage::Fileblock* fb = storage::OpenFileblock(name(kind, prefix), false);
        EXPECT_TRUE(storage::EngineOk) << storage::EngineError;
        return fb;
    }

    // Every live record with its number, then every entry of every key in key order.
    static std::vector<std::string> Contents(storage::Fileblock* fb) {
        std::vector<std::string> out;
        int32_t len = storage::RecordLength(fb);
        for (int32_t n = storage::NextUsedRecord(fb, 0); storage::EngineOk && n > 0;
             n = storage::NextUsedRecord(fb, n)) {
            std::string r(size_t(len), '\0');
            storage::GetRecord(fb, n, r.data());
            out.push_back("record " + std::to_string(n) + " " + r);
        }
        for (int k = 1; k <= storage::KeyCountOf(fb); ++k) {
            std::string key;
            int32_t rec = storage::FindKeyAtOrAfter(fb, k, key);
            while (storage::EngineOk) {
                out.push_back("key " + std::to_string(k) + " " + key + " " + std::to_string(rec));
                storage::NextKey(fb, k, key, rec);
            }
        }
        return out;
    }

    // Closes the fileblock and checks every structural invariant of its files.
    void closeAndCheck(storage::Fileblock*& fb, const std::string& fileblock) {
        storage::CloseFileblock(fb);
        ASSERT_TRUE(storage::EngineOk) << storage::EngineError;
        auto problems = storage::CheckFileblock(fileblock);
        EXPECT_TRUE(problems.empty()) << problems.front();
    }

    invarro::testing::TempDir dir;
    invarro::testing::ScriptedPrompter prompter;

  private:
    int savedFloor_ = 0;
};

}  // namespace invarro::data
