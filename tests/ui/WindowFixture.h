// What the window tests share: a named child looked up (its absence is a failure), and a
// fixture with the engine running, a scratch data folder, the scripted message boxes and
// company number 1, "Northside Supply".
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QWidget>
#include <map>
#include <string>
#include <vector>

#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/Update.h"
#include "storage/Engine.h"
#include "support/QtApp.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/CustContext.h"

namespace invarro::testing {

template <typename T = QLineEdit>
T* Child(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
}

// The Alt+letter a caption answers to: the letter after a single "&", upper-cased; none
// for a caption without one.
inline QChar MnemonicOf(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] == '&') {
            ++i;
            continue;
        }
        return caption[i + 1].toUpper();
    }
    return {};
}

// The Alt+letters that more than one visible control of the window answers to (the menu
// bar's menus, buttons and check boxes, and labels that lead to a field), each with the
// captions that share it ("L: &Label | &Left Margin:"). Empty when every letter leads to one
// place.
inline std::vector<std::string> MnemonicClashes(QWidget* window) {
    std::map<QChar, QStringList> seen;
    auto note = [&](const QString& caption) {
        const QChar letter = MnemonicOf(caption);
        if (!letter.isNull()) seen[letter] << caption;
    };
    for (QMenuBar* bar : window->findChildren<QMenuBar*>())
        for (QAction* menu : bar->actions())
            if (menu->isVisible()) note(menu->text());
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
        if (b->isVisibleTo(window)) note(b->text());
    for (QLabel* l : window->findChildren<QLabel*>())
        if (l->buddy() && l->isVisibleTo(window)) note(l->text());
    std::vector<std::string> clashes;
    for (const auto& [letter, captions] : seen)
        if (captions.size() > 1)
            clashes.push_back(QString(letter).toStdString() + ": " +
                              captions.join(" | ").toStdString());
    return clashes;
}

// What every window test fills first in a window context (customer, product and invoice
// windows alike): the data folder, the company in use and the message boxes, and the clock
// when one is given.
inline void SetUpWindowContext(ui::CustomerWindowContext& ctx, const std::string& folder,
                               data::CompanyRecord& company, platform::Prompter& prompter) {
    ctx.dataFolder = folder;
    ctx.company = &company;
    ctx.prompter = &prompter;
}
inline void SetUpWindowContext(ui::CustomerWindowContext& ctx, const std::string& folder,
                               data::CompanyRecord& company, platform::Prompter& prompter,
                               const platform::Clock* clock) {
    SetUpWindowContext(ctx, folder, company, prompter);
    ctx.clock = clock;
}

class CompanyWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { QtApp(); }
    // The company record is made here and not yet on file: a test sets what it needs and
    // then calls storeCompany() when its windows read the company file.
    void SetUp() override {
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
        company = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
        company.setText(data::Company::Name, "Northside Supply");
    }
    void TearDown() override {
        if (storage::EngineStarted()) storage::ExitEngine();
    }
    // A new company file holding the company record as it stands.
    void storeCompany() {
        const std::string companies = data::FileblockName(dir.path(), data::FileKind::Company);
        ASSERT_TRUE(
            data::CreateBusinessFileblock(companies, data::KindOf(data::FileKind::Company)));
        storage::Fileblock* fb = storage::OpenFileblock(companies, false);
        ASSERT_TRUE(data::AddBusinessRecord(fb, company, prompter).ok());
        storage::CloseFileblock(fb);
    }
    // The company's file of a kind.
    std::string companyFile(data::FileKind kind) const {
        return data::FileblockName(dir.path(), kind, "1");
    }

    TempDir dir;
    ScriptedPrompter prompter;
    data::CompanyRecord company;
};

}  // namespace invarro::testing
