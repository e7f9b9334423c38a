// The timing of one step of a benchmark: wall seconds on standard output as
// "op NAME seconds S" (with what the step found after it), and the processor seconds of
// the process beside it on standard error as "cpu NAME seconds C", the machine being
// shared.
#pragma once

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

namespace invarro::bench {

struct Timer {
    std::chrono::steady_clock::time_point t0 = std::chrono::steady_clock::now();
    std::clock_t c0 = std::clock();
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    double cpu() const { return double(std::clock() - c0) / CLOCKS_PER_SEC; }
};

inline void Report(const std::string& name, double seconds, double cpu,
                   const std::string& extra = {}) {
    std::printf("op %s seconds %.4f%s\n", name.c_str(), seconds, extra.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "cpu %s seconds %.4f\n", name.c_str(), cpu);
}

inline void Report(const std::string& name, const Timer& t, const std::string& extra = {}) {
    const double s = t.seconds();
    Report(name, s, t.cpu(), extra);
}

}  // namespace invarro::bench
