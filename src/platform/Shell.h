// The desktop shell: open a file or an address with its default program, start a
// calculator. Each returns false when nothing could be started.
#pragma once

#include <string>

namespace invarro::platform {

class Shell {
  public:
    virtual ~Shell() = default;
    virtual bool openFile(const std::string& path) = 0;
    virtual bool openUrl(const std::string& url) = 0;
    virtual bool startCalculator() = 0;
};

}  // namespace invarro::platform
