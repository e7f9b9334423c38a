// A ScriptedPrompter that also fails the test when a message is shown while an engine
// transaction is open: a posting's messages wait until it has been committed or rolled
// back, so that nobody holds the books locked while a person reads a message.
#pragma once

#include <gtest/gtest.h>

#include "storage/Transaction.h"
#include "support/ScriptedPrompter.h"

namespace invarro::testing {

class OutsidePostingPrompter : public ScriptedPrompter {
  public:
    platform::Answer ask(const platform::Message& m) override {
        if (storage::InTransaction()) {
            ++insidePosting_;
            ADD_FAILURE() << "\"" << m.text << "\" was shown while a posting was open";
        }
        return ScriptedPrompter::ask(m);
    }
    int shownInsidePosting() const { return insidePosting_; }

  private:
    int insidePosting_ = 0;
};

}  // namespace invarro::testing
