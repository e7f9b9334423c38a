// The desktop shell: open a file or an address with its default program, start a
// calculator. Each returns false when nothing could be started.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace invarro::platform {

// The desktops' calculators a shell looks for on the search path, in order of preference.
inline constexpr std::array<std::string_view, 6> kCalculatorPrograms{
    "gnome-calculator", "kcalc", "galculator", "qalculate-gtk", "mate-calc", "xcalc"};

class Shell {
  public:
    virtual ~Shell() = default;
    virtual bool openFile(const std::string& path) = 0;
    virtual bool openUrl(const std::string& url) = 0;
    virtual bool startCalculator() = 0;
};

}  // namespace invarro::platform
