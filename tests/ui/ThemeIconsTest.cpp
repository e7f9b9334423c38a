// The theme icons of the windows' commands: every name in the table resolves through the
// fallback theme on a desktop whose own theme has none of them, and a command without a
// theme icon keeps what it had.

#include <gtest/gtest.h>

#include <QIcon>
#include <QPixmap>
#include <set>

#include "support/QtApp.h"
#include "ui/ThemeIcons.h"

namespace invarro::ui {
namespace {

class ThemeIconsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        testing::QtApp();
        SetUpIconTheme();
    }
    // The desktop's theme as the test left it.
    void SetUp() override { theme_ = QIcon::themeName(); }
    void TearDown() override { QIcon::setThemeName(theme_); }

  private:
    QString theme_;
};

TEST_F(ThemeIconsTest, EveryCommandOnceAndEveryIconFromTheFallbackTheme) {
    EXPECT_EQ(QIcon::fallbackThemeName(), kFallbackIconTheme);
    // "hicolor" holds none of these names: each one has to come from the fallback theme.
    QIcon::setThemeName("hicolor");
    std::set<std::string_view> commands;
    for (const CommandIconName& entry : CommandIconNames()) {
        EXPECT_TRUE(commands.insert(entry.command).second) << entry.command;
        const QIcon icon = CommandIcon(entry.command);
        ASSERT_FALSE(icon.isNull()) << entry.command << " " << entry.iconName;
        EXPECT_EQ(icon.name().toStdString(), entry.iconName);
        for (int size : {16, 24, 32})
            EXPECT_FALSE(icon.pixmap(size, size).isNull()) << entry.iconName << " " << size;
    }
    EXPECT_GE(commands.size(), 30u);
}

TEST_F(ThemeIconsTest, ACommandWithoutThemeIconKeepsItsOwn) {
    QPixmap own(8, 8);
    own.fill(Qt::red);
    const QIcon fallback(own);
    EXPECT_EQ(CommandIcon("Interest Wizard", fallback).cacheKey(), fallback.cacheKey());
    EXPECT_TRUE(CommandIcon("No Such Command").isNull());
    // A theme that does not exist still leaves the fallback theme to answer.
    QIcon::setThemeName("no-such-theme");
    EXPECT_EQ(CommandIcon("New").name(), "document-new");
}

TEST_F(ThemeIconsTest, TheApplicationIconIsThereWithoutAnInstalledCopy) {
    QIcon::setThemeName("hicolor");
    const QIcon icon = ApplicationIcon();
    ASSERT_FALSE(icon.isNull());
    const QImage image = icon.pixmap(64, 64).toImage();
    ASSERT_FALSE(image.isNull());
    // Drawn, not blank: the sheet's middle is not transparent.
    EXPECT_GT(qAlpha(image.pixel(32, 32)), 0);
}

}  // namespace
}  // namespace invarro::ui
