// A Prompter for tests: answers from a script and records every message. A message
// that the script does not expect fails the test.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/Prompter.h"

namespace invarro::testing {

class ScriptedPrompter : public platform::Prompter {
  public:
    struct Expected {
        std::string text;  // the exact text expected (or its start, with prefix)
        platform::Answer answer = platform::Answer::Ok;
        bool prefix = false;
    };

    // The next message must have this text; it is answered with answer.
    ScriptedPrompter& expect(std::string text, platform::Answer answer = platform::Answer::Ok) {
        script_.push_back({std::move(text), answer});
        return *this;
    }
    // The next message must begin with this text.
    ScriptedPrompter& expectStart(std::string text,
                                  platform::Answer answer = platform::Answer::Ok) {
        script_.push_back({std::move(text), answer, true});
        return *this;
    }

    platform::Answer ask(const platform::Message& m) override {
        seen_.push_back(m);
        if (script_.empty()) {
            ADD_FAILURE() << "unexpected message \"" << m.text << "\" (" << m.title << ")";
            return m.defaultButton;
        }
        Expected e = script_.front();
        script_.pop_front();
        if (e.prefix)
            EXPECT_EQ(m.text.substr(0, e.text.size()), e.text) << "title: " << m.title;
        else
            EXPECT_EQ(m.text, e.text) << "title: " << m.title;
        return e.answer;
    }
    void beep() override { ++beeps_; }

    const std::vector<platform::Message>& seen() const { return seen_; }
    const platform::Message& last() const { return seen_.back(); }
    bool done() const { return script_.empty(); }
    int beeps() const { return beeps_; }

    ~ScriptedPrompter() override {
        for (const auto& e : script_)
            ADD_FAILURE() << "message never shown: \"" << e.text << "\"";
    }

  private:
    std::deque<Expected> script_;
    std::vector<platform::Message> seen_;
    int beeps_ = 0;
};

}  // namespace invarro::testing
