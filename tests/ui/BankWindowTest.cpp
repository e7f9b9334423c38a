// The Bank Statements window's import: a statement of another account is stored only when
// the user says so, a file dropped on the window is imported as one chosen is, a CSV file
// goes through the company's column mapping (kept for the next file), and a file that
// cannot be read stores nothing; lines changed at another desk show in the open window.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QUrl>
#include <fstream>

#include "WindowFixture.h"
#include "data/EInvoiceData.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/IniFile.h"
#include "storage/Backend.h"
#include "support/Modal.h"
#include "ui/BankStatements.h"
#include "ui/ChangeWatcher.h"

namespace invarro::ui {
namespace {

using platform::Answer;

const std::string kStatement = std::string(INVARRO_BANKING_DATA) + "/own.mt940.sta";

class BankWindowTest : public testing::CompanyWindowTest {
  protected:
    void SetUp() override {
        CompanyWindowTest::SetUp();
        storeCompany();
        setIban("DE02120300000000202051");
        testing::SetUpWindowContext(ctx, dir.path(), company, prompter);
    }
    void setIban(const std::string& iban) {
        data::CompanyEInvoice e;
        e.currency = "EUR";
        e.iban = iban;
        data::IniFile ini(data::IniFilePath(dir.path()));
        ASSERT_TRUE(data::WriteCompanyEInvoice(ini, "1", e));
    }
    void importFrom(TBankStatements& w, const std::string& path) {
        w.chooseFile = [path] { return QString::fromStdString(path); };
        w.ImportBtn->click();
    }
    static std::string Question(const std::string& account) {
        return "The statement is of account " + account +
               ", not of the company's account DE02120300000000202051.\n\nImport its lines "
               "into this company anyway?";
    }
    // Drops the file on the window as the desktop does.
    static void Drop(TBankStatements& w, const std::string& path) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(&w, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &drop);
    }

    CustomerWindowContext ctx;
};

TEST_F(BankWindowTest, AnotherAccountIsAskedAboutAndADroppedFileImportsAlike) {
    TBankStatements w(ctx);
    EXPECT_EQ(w.BankLines->rowCount(), 0);
    EXPECT_FALSE(w.PostBtn->isEnabled());
    prompter.expect(Question("37040044/0532013000"), Answer::No);
    importFrom(w, kStatement);
    EXPECT_EQ(w.BankLines->rowCount(), 0);  // nothing stored

    prompter.expect(Question("37040044/0532013000"), Answer::Yes);
    importFrom(w, kStatement);
    const int stored = w.BankLines->rowCount();
    EXPECT_GE(stored, 4);
    EXPECT_EQ(w.StatusLabel->text().toStdString(),
              std::to_string(stored) + " new lines stored, 0 already on file.");

    // The same file dropped on the window is not stored twice; of the company's own account
    // it asks nothing.
    setIban("DE89370400440532013000");
    Drop(w, kStatement);
    EXPECT_EQ(w.BankLines->rowCount(), stored);
    EXPECT_EQ(w.StatusLabel->text().toStdString(),
              "0 new lines stored, " + std::to_string(stored) + " already on file.");

    // The filter shows one state at a time.
    ASSERT_NE(w.currentLine(), 0);
    w.IgnoreBtn->click();
    w.setFilter(TBankStatements::Filter::Ignored);
    EXPECT_EQ(w.BankLines->rowCount(), 1);
    EXPECT_EQ(w.BankLines->item(0, 3)->text(), "ignored");
    w.setFilter(TBankStatements::Filter::New);
    EXPECT_EQ(w.BankLines->rowCount(), stored - 1);
    EXPECT_TRUE(testing::MnemonicClashes(&w).empty());
}

// Lines stored and decided at another desk show here once the bank line file is told as
// changed elsewhere, with the filter and the highlighted line kept; a change of a file the
// window does not show leaves it alone, and while a window of its own is open over it the
// lines wait until it has closed.
TEST_F(BankWindowTest, LinesChangedElsewhereShowWithoutLosingTheHighlightedLine) {
    setIban("DE89370400440532013000");
    TBankStatements mine(ctx);
    TBankStatements theirs(ctx);
    importFrom(theirs, kStatement);
    const int stored = theirs.BankLines->rowCount();
    ASSERT_GE(stored, 4);
    EXPECT_EQ(mine.BankLines->rowCount(), 0);

    std::vector<std::string> told;
    ChangeWatcher::instance().setSource([&] { return std::exchange(told, {}); });
    auto tell = [&](data::FileKind kind) {
        told = {storage::FileblockName(data::FileblockName(dir.path(), kind, "1"))};
    };
    tell(data::FileKind::Product);
    QTest::qWait(2 * ChangeWatcher::kIntervalMs + 100);
    EXPECT_EQ(mine.BankLines->rowCount(), 0);
    tell(data::FileKind::BankLine);
    EXPECT_TRUE(QTest::qWaitFor([&] { return mine.BankLines->rowCount() == stored; }, 1500));

    // The third line highlighted here; the first ignored there.
    ASSERT_TRUE(mine.showLine(mine.review().rows()[2].stored.recNo));
    const int32_t highlighted = mine.currentLine();
    std::string why;
    ASSERT_TRUE(theirs.review().ignore(theirs.review().rows()[0].stored.recNo, &why)) << why;
    tell(data::FileKind::BankLine);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return mine.review().rows()[0].stored.state == banking::LineState::Ignored; }, 1500));
    EXPECT_EQ(mine.currentLine(), highlighted);
    EXPECT_EQ(mine.BankLines->rowCount(), stored);

    // Under a window of its own the lines are read once that has closed.
    ASSERT_TRUE(theirs.review().reopen(theirs.review().rows()[0].stored.recNo, &why)) << why;
    QDialog over(&mine);
    over.setModal(true);
    over.show();
    tell(data::FileKind::Invoice);
    QTest::qWait(2 * ChangeWatcher::kIntervalMs + 100);
    EXPECT_EQ(mine.review().rows()[0].stored.state, banking::LineState::Ignored);
    over.close();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return mine.review().rows()[0].stored.state == banking::LineState::New; }, 1500));
    ChangeWatcher::instance().setSource({});
}

TEST_F(BankWindowTest, ACsvFileGoesThroughTheCompanysColumnsKeptForTheNextFile) {
    const std::string csv = dir.file("konto.csv");
    std::ofstream(csv) << "Kontoauszug Girokonto\n\n"
                          "Buchungstag;Betrag;Auftraggeber;Verwendungszweck\n"
                          "02.01.2025;1.190,00;M\xdcLLER GMBH;Rechnung 4711\n"
                          "03.01.2025;(12,34);Bank;Geb\xfchr\n"
                          "Endsaldo;1.177,66\n";
    TBankStatements w(ctx);
    testing::WhenModal<TCsvMappingDialog>([](TCsvMappingDialog* d) {
        d->findChild<QLineEdit*>("DateColumn")->setText("Buchungstag");
        d->findChild<QLineEdit*>("AmountColumn")->setText("Betrag");
        d->findChild<QLineEdit*>("NameColumn")->setText("Auftraggeber");
        d->findChild<QLineEdit*>("TextColumn")->setText("Verwendungszweck");
        d->findChild<QPushButton*>("OKBtn")->click();
    });
    importFrom(w, csv);
    ASSERT_EQ(w.BankLines->rowCount(), 2);
    EXPECT_EQ(w.BankLines->item(0, 1)->text(), "1,190.00");
    EXPECT_EQ(w.BankLines->item(0, 4)->text(), "MÜLLER GMBH");
    EXPECT_EQ(w.BankLines->item(1, 1)->text(), "-12.34");

    // The next CSV file starts from the columns kept; an incomplete mapping is refused in
    // the dialog and Cancel stores nothing.
    std::ofstream(csv, std::ios::app) << "";
    testing::WhenModal<TCsvMappingDialog>([this](TCsvMappingDialog* d) {
        EXPECT_EQ(d->findChild<QLineEdit*>("DateColumn")->text(), "Buchungstag");
        d->findChild<QLineEdit*>("DateColumn")->clear();
        prompter.expect(banking::CsvMappingProblem(d->mapping()));
        d->findChild<QPushButton*>("OKBtn")->click();
        EXPECT_TRUE(d->isVisible());
        d->reject();
    });
    importFrom(w, csv);
    EXPECT_EQ(w.BankLines->rowCount(), 2);

    // A file that cannot be read says where and stores nothing.
    const std::string bad = dir.file("bad.xml");
    std::ofstream(bad)
        << "<?xml version=\"1.0\"?><Document "
           "xmlns=\"urn:iso:std:iso:20022:tech:xsd:camt.053.001.02\"><BkToCstmrStmt>";
    const banking::ReadResult read =
        banking::ReadStatementFile(*data::ReadWholeFile(bad), "", banking::CsvMapping{});
    ASSERT_FALSE(read.ok);
    prompter.expect(bad + (read.errorLine > 0 ? ":" + std::to_string(read.errorLine) : "") + ": " +
                    read.error + ". Nothing was stored.");
    importFrom(w, bad);
    EXPECT_EQ(w.BankLines->rowCount(), 2);
}

}  // namespace
}  // namespace invarro::ui
