// A started engine with a small page pool and a temporary folder for fileblocks.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "storage/BTree.h"
#include "storage/Engine.h"
#include "storage/EngineTesting.h"
#include "support/TempDir.h"

namespace invarro::storage {

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedFloor_ = PoolFloor();
        SetPoolFloor(0);
        ASSERT_EQ(InitEngine(poolSize()), poolSize());
    }
    void TearDown() override {
        ClearFaults();
        if (EngineStarted()) ExitEngine();
        SetPoolFloor(savedFloor_);
    }
    virtual int poolSize() const { return 30; }

    std::string name(const std::string& base = "T") const { return dir.file(base); }

    Fileblock* createOpen(int recLen, std::initializer_list<KeyDescriptor> keys,
                          const std::string& base = "T") {
        std::vector<KeyDescriptor> k(keys);
        CreateFileblock(name(base), recLen, int(k.size()), k.data());
        EXPECT_TRUE(EngineOk) << EngineError;
        Fileblock* fb = OpenFileblock(name(base), false);
        EXPECT_TRUE(EngineOk) << EngineError;
        return fb;
    }

    // A record of the fileblock's length: live mark, then text.
    static std::string record(int len, const std::string& text) {
        std::string r(size_t(len), '\0');
        r.replace(4, std::min(text.size(), size_t(len - 4)), text.substr(0, size_t(len - 4)));
        return r;
    }

    invarro::testing::TempDir dir;

  private:
    int savedFloor_ = 0;
};

}  // namespace invarro::storage
