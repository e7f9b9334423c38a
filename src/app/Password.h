// The start-up password ("kr1confg.dat"): the check at start and the set-up command.
#pragma once

#include <string>
#include <string_view>

#include "platform/Prompter.h"

namespace invarro::app {

inline constexpr std::string_view kPasswordHelpTopic = "Password Setup";

// What the password dialog gave back: whether it was closed with OK, and the entry.
struct PasswordEntry {
    bool ok = false;
    std::string text;
};

// The password dialog as the logic sees it: one masked entry of up to 20 characters,
// emptied each time it opens, with the caller's title and an optional help button.
class PasswordDialogPort {
  public:
    virtual ~PasswordDialogPort() = default;
    virtual PasswordEntry askPassword(const std::string& title, bool showHelp) = 0;
};

// Passes when there is no password file; otherwise asks for the password ("Password
// Required") and passes only when the dialog was closed with OK and the entry equals the
// stored password (both trimmed, letter case counts). A wrong entry is told.
bool CheckStartupPassword(const std::string& folder, PasswordDialogPort& dialog,
                          platform::Prompter& prompter);

enum class PasswordSetupResult {
    Unchanged,  // declined, cancelled, wrong current password or the entries differed
    Removed,    // no password any more
    Set,        // a new password is stored
    Failed,     // the file could not be written or removed
};

// The set-up command: confirms, checks the current password when there is one, asks for
// the new password twice, then removes the protection (entries under 2 characters) or
// stores the new password.
PasswordSetupResult SetupPassword(const std::string& folder, PasswordDialogPort& dialog,
                                  platform::Prompter& prompter);

}  // namespace invarro::app
