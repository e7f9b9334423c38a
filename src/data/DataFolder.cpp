#include "data/DataFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "data/OwnFiles.h"

namespace invarro::data {

std::string ResolveDataFolder(const std::optional<std::string>& option) {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        if (const passwd* pw = ::getpwuid(::getuid())) home = pw->pw_dir;
    }
    return ResolveDataFolder(option, std::getenv("INVARRO_DATA"), home);
}

std::string ResolveDataFolder(const std::optional<std::string>& option, const char* invarroData,
                              const char* home) {
    if (option && !option->empty()) return *option;
    if (invarroData && *invarroData) return invarroData;
    std::string h = home && *home ? home : ".";
    return h + "/.local/share/invarro";
}

bool EnsureFolder(const std::string& path, std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(path, ec)) return true;
    fs::create_directories(path, ec);
    // Owner only inside the data folder (and for the data folder itself); a folder the
    // user names elsewhere gets what the umask leaves.
    if (!ec && NewFolderMode(path) == 0700)
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace, ec);
    if (ec) {
        if (error) *error = "cannot create the folder " + path + ": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace invarro::data
