// The start-up password: the check at start and the set-up command with every message.

#include <gtest/gtest.h>

#include <filesystem>

#include "AppFixture.h"
#include "app/Password.h"

namespace invarro::app {
namespace {

using platform::Answer;
using testing::ReadFileBytes;

constexpr const char* kCreateQuestion =
    "Once you create a password you must enter it EXACTLY or you will not be able to use the "
    "billing system. Continue?";
constexpr const char* kNewTwice =
    "You will need to enter a new password TWO times. Do not enter any password (twice) if you "
    "want to remove the password protection.";
constexpr const char* kSaved =
    "Your new password is shown above. You will need to enter it EXACTLY as shown next time you "
    "want to access the system.";
constexpr const char* kRemoved =
    "You did not enter password. Any password has been cleared. This system is no longer "
    "password protected.";

class PasswordTest : public AppTest {
  protected:
    bool hasFile() const { return std::filesystem::exists(dir.file("kr1confg.dat")); }
    ScriptedPasswords dialog;
};

TEST_F(PasswordTest, NoFileNoQuestion) {
    EXPECT_TRUE(CheckStartupPassword(dir.path(), dialog, prompter));
    EXPECT_TRUE(dialog.titles.empty());
}

TEST_F(PasswordTest, StartAsksAndComparesExactly) {
    ASSERT_TRUE(data::WritePassword(dir.path(), "Secret"));
    dialog.answer("  Secret ");
    EXPECT_TRUE(CheckStartupPassword(dir.path(), dialog, prompter));
    EXPECT_EQ(dialog.titles, std::vector<std::string>{"Password Required"});
    EXPECT_EQ(dialog.helps, std::vector<bool>{false});

    // Letter case counts; a wrong entry is told and ends the program.
    dialog.answer("secret");
    prompter.expect("You did not enter the correct password.");
    EXPECT_FALSE(CheckStartupPassword(dir.path(), dialog, prompter));
    EXPECT_EQ(prompter.last().title, "Invalid Password");

    // The right entry closed with Cancel passes nothing and says nothing.
    dialog.answer("Secret", false);
    EXPECT_FALSE(CheckStartupPassword(dir.path(), dialog, prompter));
}

TEST_F(PasswordTest, SetANewPassword) {
    prompter.expect(kCreateQuestion, Answer::Yes);
    dialog.answer("open sesame").answer(" open sesame");
    prompter.expect(kSaved);
    EXPECT_EQ(SetupPassword(dir.path(), dialog, prompter), PasswordSetupResult::Set);
    EXPECT_EQ(prompter.last().title, "Password: open sesame");
    EXPECT_EQ(dialog.titles,
              (std::vector<std::string>{"Password Setup", "Re-enter Your Password"}));
    const std::string file = ReadFileBytes(dir.file("kr1confg.dat"));
    ASSERT_EQ(file.size(), 21u);
    EXPECT_EQ(file.substr(0, 12), std::string("\x0B") + "open sesame");

    // It guards the next start.
    dialog.answer("open sesame");
    EXPECT_TRUE(CheckStartupPassword(dir.path(), dialog, prompter));
}

TEST_F(PasswordTest, ChangeNeedsTheCurrentPassword) {
    ASSERT_TRUE(data::WritePassword(dir.path(), "old"));
    prompter.expect("A Password exists. Do you want to change it?", Answer::Yes);
    dialog.answer("OLD");
    prompter.expect("You did not enter the correct password. Unable to change password.");
    EXPECT_EQ(SetupPassword(dir.path(), dialog, prompter), PasswordSetupResult::Unchanged);
    EXPECT_EQ(prompter.last().title, "Incorrect Password");
    EXPECT_EQ(*data::ReadPassword(dir.path()), "old");

    prompter.expect("A Password exists. Do you want to change it?", Answer::Yes);
    dialog.answer("old").answer("new one").answer("new one");
    prompter.expect(kNewTwice);
    prompter.expect(kSaved);
    EXPECT_EQ(SetupPassword(dir.path(), dialog, prompter), PasswordSetupResult::Set);
    EXPECT_EQ(dialog.titles,
              (std::vector<std::string>{"Enter the Current Password", "Enter the Current Password",
                                        "Password Setup", "Re-enter Your Password"}));
    EXPECT_EQ(*data::ReadPassword(dir.path()), "new one");

    prompter.expect("A Password exists. Do you want to change it?", Answer::No);
    EXPECT_EQ(SetupPassword(dir.path(), dialog, prompter), PasswordSetupResult::Unchanged);
}

TEST_F(PasswordTest, OneCharacterTwiceRemovesTheProtection) {
    ASSERT_TRUE(data::WritePassword(dir.path(), "guarded"));
    prompter.expect("A Password exists. Do you want to change it?", Answer::Yes);
    dialog.answer("guarded").answer("x").answer("x");
    prompter.expect(kNewTwice);
    prompter.expect(kRemoved);
    EXPECT_EQ(SetupPassword(dir.path(), dialog, prompter), PasswordSetupResult::Removed);
    EXPECT_EQ(prompter.last().title, "Password Removed");
    EXPECT_FALSE(hasFile());
    EXPECT_TRUE(CheckStartupPassword(dir.path(), dialog, prompter));
}

TEST_F(PasswordTest, EntriesThatDifferChangeNothing) {
    ASSERT_TRUE(data::WritePassword(dir.path(), "keep"));
    prompter.expect("A Password exists. Do you want to change it?", Answer::Yes);
    dialog.answer("keep").answer("alpha").answer("Alpha");
    prompter.expect(kNewTwice);
    prompter.expect("The two passwords do not match. Unable to setup password. Try again.");
    EXPECT_EQ(SetupPassword(dir.path(), dialog, prompter), PasswordSetupResult::Unchanged);
    EXPECT_EQ(prompter.last().title, "Invalid Password");
    EXPECT_EQ(*data::ReadPassword(dir.path()), "keep");
}

TEST_F(PasswordTest, LongEntriesAreCutToTwentyCharacters) {
    prompter.expect(kCreateQuestion, Answer::Yes);
    // They differ only after the twentieth character, so they agree.
    dialog.answer("abcdefghijklmnopqrstUVW").answer("abcdefghijklmnopqrstXYZ");
    prompter.expect(kSaved);
    EXPECT_EQ(SetupPassword(dir.path(), dialog, prompter), PasswordSetupResult::Set);
    EXPECT_EQ(*data::ReadPassword(dir.path()), "abcdefghijklmnopqrst");
    dialog.answer("abcdefghijklmnopqrst");
    EXPECT_TRUE(CheckStartupPassword(dir.path(), dialog, prompter));
}

TEST_F(PasswordTest, DecliningOrCancellingWritesNothing) {
    prompter.expect(kCreateQuestion, Answer::No);
    EXPECT_EQ(SetupPassword(dir.path(), dialog, prompter), PasswordSetupResult::Unchanged);
    prompter.expect(kCreateQuestion, Answer::Yes);
    dialog.answer("one", false);
    EXPECT_EQ(SetupPassword(dir.path(), dialog, prompter), PasswordSetupResult::Unchanged);
    prompter.expect(kCreateQuestion, Answer::Yes);
    dialog.answer("one").answer("one", false);
    EXPECT_EQ(SetupPassword(dir.path(), dialog, prompter), PasswordSetupResult::Unchanged);
    EXPECT_FALSE(hasFile());
    EXPECT_EQ(dialog.helps, (std::vector<bool>{true, true, true}));
}

}  // namespace
}  // namespace invarro::app
