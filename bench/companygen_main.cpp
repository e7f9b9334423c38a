// Writes a generated company into a folder for benchmarks and trials.
//
// Usage: invarro-bench-companygen FOLDER [INVOICES] [CUSTOMERS]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/CompanyGen.h"
#include "storage/Engine.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [INVOICES] [CUSTOMERS]\n", argv[0]);
        return 2;
    }
    invarro::bench::CompanyGenOptions options;
    options.folder = argv[1];
    if (argc > 2) options.invoices = std::atoll(argv[2]);
    if (argc > 3) options.customers = std::atoi(argv[3]);
    options.note = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
    invarro::storage::InitEngine(30);
    const auto t0 = std::chrono::steady_clock::now();
    invarro::bench::GeneratedCompany g = invarro::bench::GenerateCompany(options);
    invarro::storage::ExitEngine();
    if (!g.ok) {
        std::fprintf(stderr, "%s\n", g.error.c_str());
        return 1;
    }
    std::printf("generated customers %lld invoices %lld lines %lld seconds %.1f\n",
                static_cast<long long>(g.customers), static_cast<long long>(g.invoices),
                static_cast<long long>(g.lines),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    return 0;
}
