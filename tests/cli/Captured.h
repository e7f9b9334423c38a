// Runs invarro-cli's commands in the test program, with standard output and standard
// error caught in temporary files.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace invarro::testing {

struct CliResult {
    int status = -1;
    std::string out, err;
};

inline std::string ReadStream(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        text.append(buffer, n);
    return text;
}

inline CliResult RunCaptured(const std::vector<std::string>& args, cli::CliServices services) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    services.out = out;
    services.err = err;
    CliResult r;
    r.status = cli::RunCli(args, services);
    r.out = ReadStream(out);
    r.err = ReadStream(err);
    std::fclose(out);
    std::fclose(err);
    return r;
}

}  // namespace invarro::testing
