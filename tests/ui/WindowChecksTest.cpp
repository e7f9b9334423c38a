// What a screen reader and a small screen need from a window: the checks the gallery runs
// over every window, the captions led to their fields, and dialogs fitted to the screen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "data/Company.h"
#include "support/QtApp.h"
#include "ui/WindowChecks.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {
namespace {

class WindowChecksTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }

    // A dialog with a grid of captions and fields, a form row of address lines and a
    // row of buttons.
    void build() {
        auto* layout = new QVBoxLayout(&dialog);
        auto* grid = new QGridLayout;
        amount = new QLineEdit(&dialog);
        amount->setObjectName("Amount");
        grid->addWidget(new QLabel("Amount:", &dialog), 0, 0);
        grid->addWidget(amount, 0, 1);
        note = new QLineEdit(&dialog);
        note->setObjectName("Note");
        grid->addWidget(new QLabel("(optional)", &dialog), 1, 0);  // not a caption
        grid->addWidget(note, 1, 1);
        layout->addLayout(grid);
        auto* form = new QFormLayout;
        auto* lines = new QVBoxLayout;
        for (int i = 0; i < 3; ++i) {
            address[i] = new QLineEdit(&dialog);
            lines->addWidget(address[i]);
        }
        form->addRow(new QLabel("Address:", &dialog), lines);
        terms = new QComboBox(&dialog);
        terms->setEditable(true);
        form->addRow(new QLabel("Terms:", &dialog), terms);
        layout->addLayout(form);
        auto* buttons = new QHBoxLayout;
        more = new QPushButton("...", &dialog);
        more->setToolTip("Choose the date from a calendar");
        buttons->addWidget(more);
        buttons->addWidget(new QPushButton("OK", &dialog));
        layout->addLayout(buttons);
    }
    std::vector<std::string> problems() {
        dialog.show();
        return AccessibilityProblems(&dialog);
    }
    static bool Mentions(const std::vector<std::string>& found, const std::string& what) {
        for (const std::string& p : found)
            if (p.find(what) != std::string::npos) return true;
        return false;
    }

    QDialog dialog;
    QLineEdit* amount = nullptr;
    QLineEdit* note = nullptr;
    QLineEdit* address[3] = {};
    QComboBox* terms = nullptr;
    QPushButton* more = nullptr;
};

TEST_F(WindowChecksTest, UnlabelledFieldsAndButtonsWithoutWordsAreFound) {
    build();
    const std::vector<std::string> found = problems();
    EXPECT_TRUE(Mentions(found, "\"Amount\" is a field without a label"));
    EXPECT_TRUE(Mentions(found, "\"Note\" is a field without a label"));
    EXPECT_TRUE(Mentions(found, "QPushButton in QDialog has no name"));  // "..." says nothing
    EXPECT_FALSE(Mentions(found, "OK"));
}

TEST_F(WindowChecksTest, CaptionsLeadToTheirFieldsAndSignButtonsTakeTheirHints) {
    build();
    LabelFields(&dialog);
    const std::vector<std::string> found = problems();
    // Only the field without a caption is left.
    ASSERT_EQ(found.size(), 1u) << found.front();
    EXPECT_TRUE(Mentions(found, "\"Note\""));
    QLabel* amountLabel = nullptr;
    for (QLabel* l : dialog.findChildren<QLabel*>())
        if (l->text() == "Amount:") amountLabel = l;
    ASSERT_NE(amountLabel, nullptr);
    EXPECT_EQ(amountLabel->buddy(), amount);
    EXPECT_EQ(address[1]->accessibleName(), "Address 2");
    EXPECT_EQ(address[2]->accessibleName(), "Address 3");
    EXPECT_EQ(terms->lineEdit()->accessibleName(), "Terms");
    EXPECT_EQ(more->accessibleName(), "Choose the date from a calendar");
    // Running it again changes nothing.
    LabelFields(&dialog);
    EXPECT_EQ(address[1]->accessibleName(), "Address 2");
    EXPECT_EQ(amountLabel->buddy(), amount);
}

// A tool bar with more tools than room: Qt's overflow button has no name of its own. The
// check finds it also while the window is wide enough to hide it, and once named it is
// read out by its name when a narrow window shows it.
TEST_F(WindowChecksTest, AToolBarsOverflowButtonIsNamedAndCheckedWhenHidden) {
    auto* layout = new QVBoxLayout(&dialog);
    auto* bar = new QToolBar(&dialog);
    bar->setObjectName("ToolBar");
    for (int i = 0; i < 8; ++i)
        bar->addWidget(new QPushButton(QStringLiteral("Command %1").arg(i), bar));
    layout->addWidget(bar);
    dialog.resize(1400, 200);
    QAbstractButton* more = ToolBarOverflowButton(bar);
    ASSERT_NE(more, nullptr);
    std::vector<std::string> found = problems();
    EXPECT_FALSE(more->isVisible()) << "every tool fits";
    EXPECT_TRUE(Mentions(found, "QToolBar \"ToolBar\": its overflow button has no name"));

    LabelFields(&dialog);
    EXPECT_EQ(more->accessibleName(), "More commands");
    EXPECT_TRUE(problems().empty());
    dialog.resize(300, 200);
    QApplication::processEvents();
    ASSERT_TRUE(more->isVisible()) << "the tools do not fit";
    found = problems();
    EXPECT_TRUE(found.empty()) << found.front();
    EXPECT_EQ(ToolBarOverflowButton(nullptr), nullptr);
}

TEST_F(WindowChecksTest, AWindowOffTheWorkAreaOrCutOffButtonsAreFound) {
    build();
    dialog.show();
    const QRect area(0, 0, 800, 560);
    dialog.setGeometry(10, 10, 400, 300);
    EXPECT_TRUE(PlacementProblems(&dialog, area, 40).empty());
    dialog.move(10, 240);  // 300 high and 40 of frame below 240 pass the foot
    ASSERT_EQ(PlacementProblems(&dialog, area, 40).size(), 1u);
    EXPECT_TRUE(Mentions(PlacementProblems(&dialog, area, 40), "not inside the work area"));
    dialog.move(10, 10);
    auto* stray = new QPushButton("Far", &dialog);
    stray->setGeometry(380, 10, 60, 20);  // past the right edge
    stray->show();
    EXPECT_TRUE(Mentions(PlacementProblems(&dialog, area, 40), "\"Far\" is cut off"));
}

TEST_F(WindowChecksTest, ADialogTooTallForTheScreenScrollsAllButItsLastRow) {
    auto* layout = new QVBoxLayout(&dialog);
    auto* tall = new QTreeWidget(&dialog);
    const QRect room = ClientArea(&dialog);
    tall->setMinimumHeight(room.height() + 200);
    layout->addWidget(tall, 1);
    auto* row = new QHBoxLayout;
    auto* ok = new QPushButton("OK", &dialog);
    row->addWidget(ok);
    layout->addLayout(row);
    FitDialogToScreen(&dialog);
    dialog.show();
    EXPECT_LE(dialog.height(), room.height());
    EXPECT_TRUE(room.contains(QRect(dialog.pos(), dialog.size())));
    auto* scroll = dialog.findChild<QScrollArea*>("ScrolledArea");
    ASSERT_NE(scroll, nullptr);
    EXPECT_TRUE(scroll->widget()->isAncestorOf(tall));
    EXPECT_FALSE(scroll->isAncestorOf(ok));  // OK stays in view
    EXPECT_TRUE(PlacementProblems(&dialog, room.adjusted(0, 0, 0, 40), 40).empty());

    // One that fits is only brought inside the room.
    QDialog small;
    auto* l = new QVBoxLayout(&small);
    l->addWidget(new QLineEdit(&small));
    small.resize(300, 200);
    small.move(room.right() + 50, room.bottom() + 50);
    FitDialogToScreen(&small);
    EXPECT_EQ(small.findChild<QScrollArea*>(), nullptr);
    EXPECT_TRUE(room.contains(QRect(small.pos(), small.size())));
}

TEST_F(WindowChecksTest, AScrolledDialogTakesTheWidthItsFieldsWantWhereTheScreenHasIt) {
    const QRect room = ClientArea(&dialog);
    ASSERT_GT(room.width(), 700);
    auto* layout = new QVBoxLayout(&dialog);
    auto* tall = new QTreeWidget(&dialog);
    tall->setMinimumHeight(room.height() + 200);
    layout->addWidget(tall, 1);
    // A row of fields that would be squeezed in the dialog's designed width.
    auto* fields = new QHBoxLayout;
    std::vector<QLineEdit*> boxes;
    for (int i = 0; i < 4; ++i) {
        boxes.push_back(new QLineEdit(&dialog));
        boxes.back()->setMinimumWidth(40);
        fields->addWidget(boxes.back());
    }
    layout->addLayout(fields);
    auto* ok = new QPushButton("OK", &dialog);
    layout->addWidget(ok);
    dialog.resize(300, 400);
    FitDialogToScreen(&dialog);
    dialog.show();
    QApplication::processEvents();
    auto* scroll = dialog.findChild<QScrollArea*>("ScrolledArea");
    ASSERT_NE(scroll, nullptr);
    EXPECT_GE(scroll->viewport()->width(), scroll->widget()->sizeHint().width())
        << "the page is not squeezed below the width it wants";
    EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());
    for (QLineEdit* box : boxes)
        EXPECT_GE(box->width(), box->sizeHint().width());
    EXPECT_LE(dialog.width(), room.width());
    EXPECT_LE(dialog.height(), room.height());
    EXPECT_FALSE(scroll->isAncestorOf(ok));
    EXPECT_TRUE(PlacementProblems(&dialog, room.adjusted(0, 0, 0, 40), 40).empty());
}

TEST(ListFont, TheDesktopsUnlessTheCompanyChoseOne) {
    testing::QtApp();
    data::CompanyRecord company = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
    EXPECT_FALSE(ChoseListFont(company));  // as a new company starts
    EXPECT_EQ(ListFont(company), QApplication::font());
    for (auto change :
         {+[](data::CompanyRecord& c) { c.setText(data::Company::MgrFontName, "DejaVu Serif"); },
          +[](data::CompanyRecord& c) { c.setInt32(data::Company::MgrFontSize, 12); },
          +[](data::CompanyRecord& c) { c.setInt32(data::Company::MgrFontColor, 0xff); }}) {
        data::CompanyRecord chosen = company;
        change(chosen);
        EXPECT_TRUE(ChoseListFont(chosen));
    }
    company.setText(data::Company::MgrFontName, "DejaVu Serif");
    EXPECT_EQ(ListFont(company).family(), QFont("DejaVu Serif").family());
}

}  // namespace
}  // namespace invarro::ui
