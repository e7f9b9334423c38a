// A Progress for tests: records the title and every line shown, and can ask to stop after
// a number of steps.
#pragma once

#include <string>
#include <vector>

#include "platform/Progress.h"

namespace invarro::testing {

class RecordingProgress : public platform::Progress {
  public:
    void start(const std::string& title, int lines) override {
        titles.push_back(title);
        current.assign(size_t(lines), std::string());
        ++starts;
    }
    void setLine(int index, const std::string& text) override {
        if (index >= 0 && size_t(index) < current.size()) current[size_t(index)] = text;
        shown.push_back(text);
    }
    bool step() override { return stopAfter < 0 || ++steps <= stopAfter; }
    void finish() override { ++finishes; }

    std::vector<std::string> titles;
    std::vector<std::string> current;  // the lines as they stand now
    std::vector<std::string> shown;    // every line ever set, in order
    int starts = 0;
    int finishes = 0;
    int steps = 0;
    int stopAfter = -1;  // -1: never stop
};

}  // namespace invarro::testing
