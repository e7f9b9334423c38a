// The data folder: where every data file, side file, work file and the INI file live.
#pragma once

#include <optional>
#include <string>

namespace invarro::data {

// --data DIR when given, else $INVARRO_DATA when set and not empty, else
// $HOME/.local/share/invarro.
std::string ResolveDataFolder(const std::optional<std::string>& option);
// The same rule with the environment passed in (null for an unset variable).
std::string ResolveDataFolder(const std::optional<std::string>& option, const char* invarroData,
                              const char* home);

// Creates the folder and any missing parents (readable by the owner only inside the data
// folder in use or when none is set, else as the umask allows).
bool EnsureFolder(const std::string& path, std::string* error = nullptr);

}  // namespace invarro::data
