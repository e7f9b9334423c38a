#include "app/Password.h"

#include "data/Ansi.h"
#include "data/Files.h"
#include "data/SideFiles.h"

namespace invarro::app {

namespace {

using platform::Answer;
using platform::Buttons;
using platform::Icon;
using platform::Message;

// Trimmed and cut to the 20 characters the file keeps, as the file would give it back.
std::string Kept(std::string_view entry) {
    std::string ansi = data::AnsiFromUtf8(data::TrimText(entry));
    if (ansi.size() > size_t(data::kPasswordWidth)) ansi.resize(size_t(data::kPasswordWidth));
    return data::Utf8FromAnsi(ansi);
}

void Tell(platform::Prompter& prompter, std::string title, std::string text,
          Icon icon = Icon::Information) {
    prompter.ask(Message{std::move(title), std::move(text), icon, Buttons::Ok, Answer::Ok});
}

bool Confirm(platform::Prompter& prompter, std::string title, std::string text) {
    return prompter.ask(Message{std::move(title), std::move(text), Icon::Question, Buttons::YesNo,
                                Answer::Yes}) == Answer::Yes;
}

}  // namespace

bool CheckStartupPassword(const std::string& folder, PasswordDialogPort& dialog,
                          platform::Prompter& prompter) {
    auto stored = data::ReadPassword(folder);
    if (!stored) return true;
    PasswordEntry entry = dialog.askPassword("Password Required", false);
    if (data::TrimmedText(entry.text) == data::TrimmedText(*stored)) return entry.ok;
    Tell(prompter, "Invalid Password", "You did not enter the correct password.", Icon::Warning);
    return false;
}

PasswordSetupResult SetupPassword(const std::string& folder, PasswordDialogPort& dialog,
                                  platform::Prompter& prompter) {
    auto stored = data::ReadPassword(folder);
    if (stored) {
        if (!Confirm(prompter, "Please Confirm", "A Password exists. Do you want to change it?"))
            return PasswordSetupResult::Unchanged;
        PasswordEntry current = dialog.askPassword("Enter the Current Password", true);
        if (!current.ok || data::TrimmedText(current.text) != data::TrimmedText(*stored)) {
            Tell(prompter, "Incorrect Password",
                 "You did not enter the correct password. Unable to change password.",
                 Icon::Warning);
            return PasswordSetupResult::Unchanged;
        }
        Tell(prompter, "Password Setup",
             "You will need to enter a new password TWO times. Do not enter any password "
             "(twice) if you want to remove the password protection.");
    } else if (!Confirm(prompter, "Please Confirm",
                        "Once you create a password you must enter it EXACTLY or you will not "
                        "be able to use the billing system. Continue?")) {
        return PasswordSetupResult::Unchanged;
    }

    PasswordEntry first = dialog.askPassword("Password Setup", true);
    if (!first.ok) return PasswordSetupResult::Unchanged;
    PasswordEntry second = dialog.askPassword("Re-enter Your Password", true);
    if (!second.ok) return PasswordSetupResult::Unchanged;
    const std::string a = Kept(first.text), b = Kept(second.text);
    if (a != b) {
        Tell(prompter, "Invalid Password",
             "The two passwords do not match. Unable to setup password. Try again.", Icon::Warning);
        return PasswordSetupResult::Unchanged;
    }

    if (data::AnsiFromUtf8(a).size() < 2) {
        if (!data::RemovePassword(folder)) {
            Tell(prompter, "Password Setup",
                 "The password file " + data::JoinPath(folder, data::kPasswordFile) +
                     " cannot be removed. The system is still password protected.",
                 Icon::Error);
            return PasswordSetupResult::Failed;
        }
        Tell(prompter, "Password Removed",
             "You did not enter password. Any password has been cleared. This system is no "
             "longer password protected.");
        return PasswordSetupResult::Removed;
    }

    // The new file replaces the old one whole, so a failed write keeps the old password.
    std::string error;
    if (!data::WritePassword(folder, a, &error)) {
        Tell(prompter, "Password Setup", "Unable to save the password: " + error, Icon::Error);
        return PasswordSetupResult::Failed;
    }
    Tell(prompter, "Password: " + a,
         "Your new password is shown above. You will need to enter it EXACTLY as shown next "
         "time you want to access the system.");
    return PasswordSetupResult::Set;
}

}  // namespace invarro::app
