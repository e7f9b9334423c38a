// invarro: the desktop program. This version sets up a new installation (--init); the
// main window is not part of it yet.

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "app/Installation.h"
#include "data/DataFolder.h"
#include "platform/ConsolePrompter.h"
#include "storage/Engine.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: invarro [--data DIR] [--init]\n"
                 "  --data DIR   the data folder (else $INVARRO_DATA, else "
                 "~/.local/share/invarro)\n"
                 "  --init       set up a new installation in the data folder and exit\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> dataOption;
    bool init = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc) {
            dataOption = argv[++i];
        } else if (std::strcmp(argv[i], "--init") == 0) {
            init = true;
        } else if (std::strcmp(argv[i], "--demo") == 0) {
            // The demo company opens in the main window, which this version lacks.
        } else {
            return Usage();
        }
    }
    std::string folder = invarro::data::ResolveDataFolder(dataOption);

    if (!init) {
        std::fprintf(stderr,
                     "invarro: the main window is not part of this version yet; "
                     "use --init to set up a new installation in %s.\n",
                     folder.c_str());
        return 1;
    }

    namespace storage = invarro::storage;
    storage::InitEngine(30);
    if (!storage::EngineOk) {
        std::fprintf(stderr, "invarro: cannot start the storage engine (error %d).\n",
                     int(storage::EngineError));
        return 1;
    }
    invarro::platform::ConsolePrompter prompter;
    invarro::app::InstallResult r = invarro::app::CreateInstallation(folder, prompter);
    storage::ExitEngine();
    std::fprintf(r.ok ? stdout : stderr, "%s\n", r.message.c_str());
    return r.ok ? 0 : 1;
}
