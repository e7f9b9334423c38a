#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "data/Ansi.h"
#include "output/TextFile.h"
#include "platform/qt/Printer.h"
#include "support/Command.h"
#include "support/Modal.h"
#include "support/QtApp.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/FontColorDialog.h"
#include "ui/ListViewer.h"

namespace invarro::ui {
namespace {

using testing::RunCommand;
using testing::ScriptedPrompter;
using testing::ShellQuote;
using testing::TempDir;
using testing::WhenModal;

// Puts a name into a file dialog's name box, as pasting it would. (selectFile leaves the
// box alone while it has the focus.)
void TypeFileName(QFileDialog* dialog, const QString& name) {
    auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    edit->setText(name);
}

// The lines of an RTF file as `unrtf --text` reads them. unrtf folds every run of blanks
// into one and writes accented letters as Latin-1.
std::vector<std::string> UnrtfLines(const std::string& file) {
    const std::string text =
        data::DecodeText(RunCommand("unrtf --text " + ShellQuote(file)).output);
    std::vector<std::string> lines;
    std::size_t start = text.find("-----------------\n");
    if (start == std::string::npos) return lines;
    start += 18;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

class ListViewerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }

    void SetUp() override {
        QPrinter& printer = platform::qt::ProgramPrinter();
        savedFormat = printer.outputFormat();
        savedFile = printer.outputFileName();
    }
    void TearDown() override {
        QPrinter& printer = platform::qt::ProgramPrinter();
        printer.setOutputFormat(savedFormat);
        printer.setOutputFileName(savedFile);
    }

    std::unique_ptr<TListViewer> makeViewer() {
        return std::make_unique<TListViewer>(prompter, title, dir.path(), font, color,
                                             "Customer.RTF");
    }
    QTextEdit* view(TListViewer& v) { return v.findChild<QTextEdit*>("ListText"); }
    QPushButton* button(TListViewer& v, const char* name) {
        return v.findChild<QPushButton*>(name);
    }

    TempDir dir;
    ScriptedPrompter prompter;
    QString title = "Customer List by Name";
    QFont font{"Courier New", 10};
    QColor color{0, 0, 128};
    std::vector<std::string> lines{
        "Customer List for Müller & Söhne",
        "Date: Tuesday, March 3, 2026, 09:15 AM",
        std::string(80, '-'),
        "Zoë Ångström                            Number: 100         Balance:     1,234.50",
        "",
        "Short Name: ZAngstrom     Type: Retail",
    };
    QPrinter::OutputFormat savedFormat{};
    QString savedFile;
};

TEST_F(ListViewerTest, ShowsTheWorkFileInTheManagerFontAndDeletesIt) {
    ASSERT_TRUE(output::WriteTextList(dir.path(), lines));
    auto v = makeViewer();
    ASSERT_TRUE(v->loadWorkFile());
    EXPECT_FALSE(std::filesystem::exists(dir.file(output::kTextListFile)));
    EXPECT_EQ(v->lines(), lines);
    EXPECT_EQ(v->windowTitle(), title);

    QTextEdit* text = view(*v);
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(text->lineWrapMode(), QTextEdit::NoWrap);
    QStringList expected;
    for (const auto& l : lines)
        expected << QString::fromStdString(l);
    EXPECT_EQ(text->toPlainText(), expected.join('\n'));
    QTextCursor at(text->document());
    at.setPosition(5);
    EXPECT_EQ(at.charFormat().font().family(), "Courier New");
    EXPECT_EQ(at.charFormat().font().pointSize(), 10);
    EXPECT_EQ(at.charFormat().foreground().color(), color);

    EXPECT_EQ(button(*v, "PrintBtn")->text(), "Print");
    EXPECT_EQ(button(*v, "FontBtn")->text(), "Font/Color");
    EXPECT_EQ(button(*v, "SaveBtn")->text(), "Save to File");
    EXPECT_EQ(button(*v, "CloseBtn")->text(), "Close");
}

TEST_F(ListViewerTest, AMissingWorkFileIsReportedAndNoViewerShows) {
    const std::string file = dir.file(output::kTextListFile);
    prompter.expect("The list could not be read. Cannot open " + file +
                    ": No such file or directory");
    bool shown = false;
    QObject guard;
    QTimer::singleShot(0, &guard, [&] {
        if (auto* w = QApplication::activeModalWidget()) {
            shown = true;
            w->close();
        }
    });
    TListViewer::ShowWorkFile(prompter, title, dir.path(), font, color, "Customer.RTF");
    EXPECT_FALSE(shown);
    EXPECT_EQ(prompter.last().title, title.toStdString());
}

TEST_F(ListViewerTest, CloseEndsTheViewerAndTheWorkFileIsGone) {
    ASSERT_TRUE(output::WriteTextList(dir.path(), lines));
    bool seen = false;
    WhenModal<TListViewer>([&](TListViewer* v) {
        seen = true;
        EXPECT_EQ(v->lines(), lines);
        // A picture of the window, for looking at it (set INVARRO_SCREENSHOT_DIR).
        const QPixmap shot = v->grab();
        EXPECT_FALSE(shot.isNull());
        if (const char* shots = std::getenv("INVARRO_SCREENSHOT_DIR"))
            shot.save(QString::fromUtf8(shots) + "/TListViewer.png");
        QTest::mouseClick(v->findChild<QPushButton*>("CloseBtn"), Qt::LeftButton);
    });
    TListViewer::ShowWorkFile(prompter, title, dir.path(), font, color, "Customer.RTF");
    EXPECT_TRUE(seen);
    EXPECT_FALSE(std::filesystem::exists(dir.file(output::kTextListFile)));
}

TEST_F(ListViewerTest, SaveToFileOffersTheProposedNameAndWritesRtf) {
    auto v = makeViewer();
    v->setLines(lines);
    WhenModal<QFileDialog>([&](QFileDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Save As");
        EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(d->defaultSuffix(), "RTF");
        EXPECT_EQ(d->nameFilters(), QStringList{"Rich Text File (*.RTF)"});
        ASSERT_FALSE(d->selectedFiles().isEmpty());
        EXPECT_EQ(d->selectedFiles().first().toStdString(), dir.file("Customer.RTF"));
        TypeFileName(d, "April list");  // no extension typed
        EXPECT_EQ(d->selectedFiles().value(0).toStdString(), dir.file("April list.RTF"));
        static_cast<QDialog*>(d)->accept();
    });
    QTest::mouseClick(button(*v, "SaveBtn"), Qt::LeftButton);
    const std::string saved = dir.file("April list.RTF");
    ASSERT_TRUE(std::filesystem::exists(saved));
    std::vector<std::string> folded;
    for (std::string l : lines) {
        std::string out;
        for (char c : l)
            if (c != ' ' || out.empty() || out.back() != ' ') out += c;
        folded.push_back(out);
    }
    EXPECT_EQ(UnrtfLines(saved), folded);
    const std::string rtf = testing::ReadFileBytes(saved);
    EXPECT_NE(rtf.find("Courier New;"), std::string::npos);
    EXPECT_NE(rtf.find("\\red0\\green0\\blue128;"), std::string::npos);
    EXPECT_NE(rtf.find("\\fs20"), std::string::npos);

    // Cancelling writes nothing.
    WhenModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
    v->saveToFile();
    EXPECT_FALSE(std::filesystem::exists(dir.file("Customer.RTF")));
}

TEST_F(ListViewerTest, AFileThatCannotBeSavedIsReported) {
    auto v = makeViewer();
    v->setLines(lines);
    // A folder inside /proc takes no new files, whoever runs the test.
    const std::string target = "/proc/self/Customer.RTF";
    errno = 0;
    std::ofstream probe(target);
    ASSERT_FALSE(probe);
    prompter.expect("The list could not be saved. Cannot create " + target + ": " +
                    std::strerror(errno));
    WhenModal<QFileDialog>([&](QFileDialog* d) {
        TypeFileName(d, QString::fromStdString(target));
        static_cast<QDialog*>(d)->accept();
    });
    v->saveToFile();
    EXPECT_TRUE(prompter.done());
}

TEST_F(ListViewerTest, PrintSendsTheTextUnderTheWindowTitle) {
    QPrinter& printer = platform::qt::ProgramPrinter();
    printer.setOutputFormat(QPrinter::PdfFormat);
    const std::string file = dir.file("printed.pdf");
    printer.setOutputFileName(QString::fromStdString(file));
    auto v = makeViewer();
    v->setLines(lines);
    QTest::mouseClick(button(*v, "PrintBtn"), Qt::LeftButton);
    const auto info = RunCommand("pdfinfo " + ShellQuote(file)).output;
    EXPECT_NE(info.find("Title:           Customer List by Name"), std::string::npos) << info;
    const auto text = RunCommand("pdftotext -layout " + ShellQuote(file) + " -").output;
    EXPECT_NE(text.find("Customer List for Müller & Söhne"), std::string::npos) << text;
    EXPECT_NE(text.find("Zoë Ångström"), std::string::npos) << text;
    EXPECT_NE(text.find("Balance:     1,234.50"), std::string::npos) << text;
}

TEST_F(ListViewerTest, PrintWithoutAPrinterSaysSo) {
    QPrinter& printer = platform::qt::ProgramPrinter();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString());
    prompter.expect(
        "No printer is available. Install a printer, or choose printing to a file in the "
        "printer set-up.");
    auto v = makeViewer();
    v->setLines(lines);
    v->printList();
    EXPECT_EQ(prompter.last().title, "Print");
}

TEST_F(ListViewerTest, FontColorChangesTheViewAndTheSavedFile) {
    auto v = makeViewer();
    v->setLines(lines);
    QFont chosen("Liberation Serif", 14);
    chosen.setBold(true);
    WhenModal<TFontColorDialog>([&](TFontColorDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Font/Color");
        EXPECT_EQ(d->selectedColor(), color);
        d->setSelectedFont(chosen);
        d->setSelectedColor(QColor(255, 0, 0));
        static_cast<QDialog*>(d)->accept();
    });
    QTest::mouseClick(button(*v, "FontBtn"), Qt::LeftButton);
    EXPECT_EQ(v->viewFont().family(), "Liberation Serif");
    EXPECT_EQ(v->viewFont().pointSize(), 14);
    EXPECT_TRUE(v->viewFont().bold());
    EXPECT_EQ(v->viewColor(), QColor(255, 0, 0));
    QTextCursor at(view(*v)->document());
    at.setPosition(3);
    EXPECT_EQ(at.charFormat().foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(at.charFormat().font().pointSize(), 14);

    WhenModal<QFileDialog>([&](QFileDialog* d) { static_cast<QDialog*>(d)->accept(); });
    v->saveToFile();
    const std::string rtf = testing::ReadFileBytes(dir.file("Customer.RTF"));
    EXPECT_NE(rtf.find("Liberation Serif;"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("\\red255\\green0\\blue0;"), std::string::npos);
    EXPECT_NE(rtf.find("\\fs28\\cf1\\b "), std::string::npos);

    // Cancel keeps what was there.
    WhenModal<TFontColorDialog>([](TFontColorDialog* d) {
        d->setSelectedColor(QColor(0, 255, 0));
        d->reject();
    });
    v->chooseFont();
    EXPECT_EQ(v->viewColor(), QColor(255, 0, 0));
}

}  // namespace
}  // namespace invarro::ui
