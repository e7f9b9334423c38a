// invarro-manpages: writes the manual pages of the three programs from their own
// command-line descriptions, the ones their --help prints. Run by the build, not installed.
//   invarro-manpages FOLDER VERSION DATE

#include <cstdio>
#include <fstream>
#include <string>

#include "cli/Cli.h"
#include "cli/ProgramDocs.h"

namespace cli = invarro::cli;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: invarro-manpages FOLDER VERSION DATE\n");
        return 2;
    }
    const std::string folder = argv[1], version = argv[2], date = argv[3];
    for (const cli::ProgramDoc& doc : {cli::DesktopDoc(), cli::CliDoc(), cli::FbtoolDoc()}) {
        const std::string path = folder + "/" + doc.name + ".1";
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << cli::ManPage(doc, version, date);
        out.close();
        if (!out) {
            std::fprintf(stderr, "invarro-manpages: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
