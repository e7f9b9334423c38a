// The small status window of long runs (rebuilds, aging, batch printing, imports): a
// title and a few centred lines. step() lets pending window events run so that the
// window repaints and a cancel request can take effect.
#pragma once

#include <string>

namespace invarro::platform {

class Progress {
  public:
    virtual ~Progress() = default;
    // Shows the window with its title and the given number of text lines.
    virtual void start(const std::string& title, int lines) = 0;
    virtual void setLine(int index, const std::string& text) = 0;
    // Lets pending events run; returns false when the user asked to stop.
    virtual bool step() = 0;
    virtual void finish() = 0;
};

// A Progress that shows nothing and never stops (batch tools, tests).
class SilentProgress : public Progress {
  public:
    void start(const std::string&, int) override {}
    void setLine(int, const std::string&) override {}
    bool step() override { return true; }
    void finish() override {}
};

}  // namespace invarro::platform
