#include <gtest/gtest.h>

#include <QFontDialog>
#include <QFontInfo>

#include "support/QtApp.h"
#include "ui/FontColorDialog.h"

namespace invarro::ui {
namespace {

class FontColorDialogTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }
};

TEST_F(FontColorDialogTest, AStandardFaceIsShownAsItsTwinAndKeptWhenLeftAlone) {
    QFont given("Courier New", 10);
    TFontColorDialog d("Managers Font/Color", given, QColor(0, 0, 128));
    auto* fonts = d.findChild<QFontDialog*>("FontDialog");
    ASSERT_NE(fonts, nullptr);
    // The list shows the face that really draws "Courier New", not some unrelated one.
    EXPECT_EQ(fonts->currentFont().family(), QFontInfo(given).family());
    EXPECT_EQ(fonts->currentFont().pointSize(), 10);
    // Only the colour changed: the face keeps the name it had.
    d.setSelectedColor(QColor(200, 0, 0));
    EXPECT_EQ(d.selectedFont().family(), "Courier New");
    EXPECT_EQ(d.selectedColor(), QColor(200, 0, 0));
}

TEST_F(FontColorDialogTest, AChangedFontComesBackAsChosen) {
    TFontColorDialog d("Font/Color", QFont("Courier New", 10), Qt::black);
    auto* fonts = d.findChild<QFontDialog*>("FontDialog");
    QFont bigger = fonts->currentFont();
    bigger.setPointSize(16);
    bigger.setStyleName(QString());  // the style name would override the italic flag
    bigger.setItalic(true);
    fonts->setCurrentFont(bigger);
    EXPECT_EQ(d.selectedFont().pointSize(), 16);
    EXPECT_TRUE(d.selectedFont().italic());
    EXPECT_EQ(d.selectedFont().family(), QFontInfo(QFont("Courier New")).family());
}

TEST_F(FontColorDialogTest, OnlyFixedPitchFacesWhenAsked) {
    TFontColorDialog d("Managers Font/Color", QFont("Courier New", 10), Qt::black, nullptr, true);
    auto* fonts = d.findChild<QFontDialog*>("FontDialog");
    EXPECT_TRUE(fonts->testOption(QFontDialog::MonospacedFonts));
    EXPECT_TRUE(fonts->testOption(QFontDialog::NoButtons));
}

}  // namespace
}  // namespace invarro::ui
