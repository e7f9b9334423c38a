// A Prompter for command-line runs: every message goes to standard error and is answered
// with its default button, as if the user had pressed Enter.
#pragma once

#include <cstdio>

#include "platform/Prompter.h"

namespace invarro::platform {

class ConsolePrompter : public Prompter {
  public:
    explicit ConsolePrompter(std::FILE* out = stderr) : out_(out) {}
    Answer ask(const Message& message) override;

  private:
    std::FILE* out_;
};

}  // namespace invarro::platform
