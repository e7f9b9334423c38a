// A Shell for tests: records what it was asked to open and answers as told.
#pragma once

#include <string>
#include <vector>

#include "platform/Shell.h"

namespace invarro::testing {

class RecordingShell : public platform::Shell {
  public:
    bool openFile(const std::string& path) override {
        opened.push_back(path);
        return succeed;
    }
    bool openUrl(const std::string& url) override {
        opened.push_back(url);
        return succeed;
    }
    bool startCalculator() override { return succeed; }

    std::vector<std::string> opened;
    bool succeed = true;
};

}  // namespace invarro::testing
