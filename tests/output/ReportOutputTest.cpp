// The report outputs over tables made here: the text file streamed through a temporary
// file (equal to the lines made one by one, stopped or failed without touching an older
// file), the column sizing that measures few texts yet finds the widest, and a PDF stopped
// part way.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <random>

#include "data/Files.h"
#include "data/OwnFiles.h"
#include "output/Labelwiz.h"
#include "output/Rpt.h"
#include "output/RtfWriter.h"
#include "output/TextFile.h"
#include "support/RecordingCanvas.h"
#include "support/RecordingProgress.h"
#include "support/TempDir.h"

namespace invarro::output {
namespace {

namespace fs = std::filesystem;
using testing::CanvasOp;
using testing::RecordingCanvas;
using testing::RecordingProgress;
using testing::TempDir;

// An invoice register of n rows over several dates and months, customers repeating, and
// names with accents, so that the view has sub-totals, month totals and a grand total.
ReportTable Register(int n) {
    ReportTable t;
    t.id = ReportId::InvoiceRegister;
    t.head1 = "Harbor Light Print";
    t.head2 = "Date: Monday, January 6, 2025, 09:00 AM";
    t.head3 = "From 01/01/2024 to 12/31/2024";
    t.columns = {{"Year/Mo/Dy", 10, CellKind::Text, 0},    {"Invoice#", 9, CellKind::Text, 1},
                 {"Short Name", 10, CellKind::Text, 2},    {"Customer#", 8, CellKind::Text, 3},
                 {"Net Amount", 12, CellKind::Amount, 0},  {"Tax Amount", 12, CellKind::Amount, 1},
                 {"Grand Total", 12, CellKind::Amount, 2}, {"C", 1, CellKind::Text, 4}};
    t.lastKeyColumn = 3;
    t.lastAmountColumn = 6;
    const char* names[] = {"Ærø Café", "SMITH", "Wide Wall Works", "i", ""};
    for (int i = 0; i < n; ++i) {
        char date[16];
        std::snprintf(date, sizeof date, "2024/%02d/%02d", 1 + i / 400 % 12, 1 + i / 20 % 28);
        const std::string cells[] = {date, std::to_string(1000 + i * 7), names[i % 5],
                                     std::to_string(i % 13), i % 3 ? "I" : "X"};
        ReportLine& line = t.rows.emplace_back();
        line.amounts = {int64_t(i) * 12345, int64_t(i % 7) * 10000, int64_t(i) * 12345 + 99};
        size_t most = 0;
        for (const std::string& c : cells)
            most += c.size();
        char* start = t.text.room(most);
        char* end = start;
        for (size_t k = 0; k < 5; ++k) {
            end = std::copy(cells[k].begin(), cells[k].end(), end);
            line.ends[k] = uint16_t(end - start);
        }
        for (size_t k = 5; k < line.ends.size(); ++k)
            line.ends[k] = line.ends[4];
        line.text = start;
        t.text.keep(size_t(end - start));
    }
    return t;
}

// The text file's lines as they were made before the lines were streamed: every cell
// made whole and padded by characters.
std::vector<std::string> LinesCellByCell(const ReportView& view) {
    auto chars = [](const std::string& s) {
        size_t n = 0;
        for (unsigned char c : s)
            n += (c & 0xC0) != 0x80;
        return n;
    };
    const ReportTable& t = view.table();
    std::vector<std::string> lines = {view.caption(), t.head1, t.head2, t.head3, ""};
    for (const ReportRow& row : view.rows()) {
        std::string line;
        for (size_t c = 0; c < t.columns.size(); ++c) {
            const std::string cell = row.cell(c);
            const size_t width = t.columns[c].heading == "Product Description" ? 32 : 12;
            const std::string pad(chars(cell) < width ? width - chars(cell) : 0, ' ');
            line += ' ';
            line += t.columns[c].isAmount() ? pad + cell : cell + pad;
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

TEST(ReportOutput, StreamedTextEqualsTheLinesMadeCellByCell) {
    ReportView view(Register(9000));
    ASSERT_TRUE(view.subTotals());
    int months = 0;
    for (const ReportRow& r : view.rows())
        months += r.kind == RowKind::Month;
    ASSERT_GT(months, 5);
    const std::vector<std::string> expected = LinesCellByCell(view);
    EXPECT_EQ(ReportTextLines(view), expected);

    TempDir dir;
    const std::string path = dir.path() + "/register.txt";
    std::string error;
    RecordingProgress progress;
    progress.stopAfter = 1 << 30;  // counts the steps
    ASSERT_EQ(SaveReportText(path, view, &error, &progress), OutputStatus::Done) << error;
    EXPECT_EQ(*data::ReadWholeFile(path), data::TextFileBytes(expected));
    EXPECT_EQ(progress.starts, 1);
    EXPECT_EQ(progress.finishes, 1);
    EXPECT_GT(progress.steps, 0);
    EXPECT_FALSE(fs::exists(path + ".new"));

    // Without sub-totals, and sorted on another column, the two still agree.
    view.setSubTotals(false);
    view.sortOn(2);
    ASSERT_EQ(SaveReportText(path, view, &error), OutputStatus::Done) << error;
    EXPECT_EQ(*data::ReadWholeFile(path), data::TextFileBytes(LinesCellByCell(view)));
}

TEST(ReportOutput, StoppedOrFailedSavesLeaveTheOlderFileAndNoTemporaryFile) {
    TempDir dir;
    const ReportView view(Register(20000));
    const std::string path = dir.path() + "/report.txt";
    ASSERT_TRUE(data::ReplaceFile(path, "older report\r\n"));

    RecordingProgress stop;
    stop.stopAfter = 1;
    std::string error;
    EXPECT_EQ(SaveReportText(path, view, &error, &stop), OutputStatus::Stopped);
    EXPECT_EQ(*data::ReadWholeFile(path), "older report\r\n");
    EXPECT_FALSE(fs::exists(path + ".new"));
    EXPECT_EQ(stop.finishes, 1);

    // A path that is a folder: the save fails with a reason and the folder stays as it was.
    const std::string folder = dir.path() + "/folder";
    fs::create_directory(folder);
    error.clear();
    EXPECT_EQ(SaveReportText(folder, view, &error), OutputStatus::Failed);
    EXPECT_NE(error.find(folder), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_FALSE(fs::exists(folder + ".new"));

    // A folder that is not there.
    error.clear();
    EXPECT_EQ(SaveReportText(dir.path() + "/none/r.txt", view, &error), OutputStatus::Failed);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(ReportOutput, AFileThatCannotTakeTheBytesIsAnError) {
    // A limit on the size of files refuses the bytes past it as a full disk would: the save
    // says so and the temporary file beside it goes.
    std::string error;
    TempDir dir;
    const std::string path = dir.path() + "/full.txt";
    const ReportView view(Register(2000));
    struct rlimit earlier {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &earlier), 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = earlier;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const OutputStatus status = SaveReportText(path, view, &error);
    ::setrlimit(RLIMIT_FSIZE, &earlier);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(status, OutputStatus::Failed);
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(fs::exists(path + ".new"));

    // A link left at the temporary name is not written through (here to /dev/full, which
    // would refuse every byte): the report is written beside it as ever.
    if (!fs::exists("/dev/full")) return;
    const std::string link = path + ".new";
    fs::create_symlink("/dev/full", link);
    EXPECT_EQ(SaveReportText(path, view, &error), OutputStatus::Done) << error;
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(*data::ReadWholeFile(path), data::TextFileBytes(ReportTextLines(view)));
}

// Every writer of a file the user names keeps off the data folder's own files, whatever
// the name looks like: the report text, the report PDF (drawn beside and renamed over),
// text lists, letters and label layouts.
TEST(ReportOutput, NoWriterOfTheUsersFilesReplacesAFileOfTheDataFolder) {
    TempDir dir;
    const std::string folder = dir.path();
    fs::create_directory(folder + "/pdf");
    for (const char* name : {"1C.DAT", "1N.DAT", "1I.IX", "invarro.ini", "Lastlbl.DAT"})
        ASSERT_TRUE(data::ReplaceFile(folder + "/" + name, std::string("own ") + name));
    fs::create_symlink(folder + "/1N.DAT", folder + "/pdf/notes.txt");
    const data::DataFolderInUseScope inUse(folder);
    auto unchanged = [&] {
        for (const char* name : {"1C.DAT", "1N.DAT", "1I.IX", "invarro.ini", "Lastlbl.DAT"})
            EXPECT_EQ(*data::ReadWholeFile(folder + "/" + name), std::string("own ") + name)
                << name;
    };
    const ReportView view(Register(50));
    std::string error;
    EXPECT_EQ(SaveReportText(folder + "/1C.DAT", view, &error), OutputStatus::Failed);
    EXPECT_NE(error.find("is one of the files of the data folder"), std::string::npos) << error;
    EXPECT_EQ(SaveReportText(folder + "/pdf/notes.txt", view, &error), OutputStatus::Failed);
    RecordingCanvas canvas;
    canvas.writeFiles(true);
    const ReportPdfOutcome pdf =
        WriteReportPdf(canvas, view, ReportDefaultFont(), folder, folder + "/pdf/../1i.ix");
    EXPECT_FALSE(pdf.ok);
    EXPECT_NE(pdf.error.find("is one of the files of the data folder"), std::string::npos);
    EXPECT_EQ(canvas.documentsEnded(), 0);
    EXPECT_FALSE(fs::exists(folder + "/1i.ix"));
    EXPECT_FALSE(WriteAnsiLines(folder + "/invarro.ini", {"x"}, &error));
    EXPECT_FALSE(WriteRecordList(folder + "/Lastlbl.DAT", {}, &error));
    EXPECT_FALSE(WriteLabelLayout(folder + "/1C.DAT", LabelLayout{}, &error));
    EXPECT_FALSE(WriteRtfFile(folder + "/1N.DAT", PlainTextDocument({"x"}, Font{}), &error));
    unchanged();
    // The program's own work file and the user's own names are written.
    EXPECT_TRUE(WriteTextList(folder, {"list"}, &error)) << error;
    EXPECT_EQ(SaveReportText(folder + "/pdf/report.txt", view, &error), OutputStatus::Done);
    EXPECT_TRUE(WriteLabelLayout(folder + "/labels.LBL", LabelLayout{}, &error)) << error;
}

// A canvas whose characters have fractional widths, rounded for the whole text as a font
// measures it: a text's width is not its characters' rounded widths added up.
class FractionalCanvas : public RecordingCanvas {
  public:
    int textWidth(const std::string& text) const override {
        ++measured;
        double w = 0;
        for (unsigned char c : text)
            if ((c & 0xC0) != 0x80) w += c == 'W' ? 9.43 : c == 'i' ? 2.22 : 4.6 + (c % 9) * 0.37;
        return int(std::lround(w));
    }
    mutable long measured = 0;
};

// A row whose every text cell holds the same text.
void AddSameTextRow(ReportTable& t, const std::string& s) {
    ReportLine& line = t.rows.emplace_back();
    char* start = t.text.room(s.size());
    std::copy(s.begin(), s.end(), start);
    line.ends.fill(uint16_t(s.size()));
    line.text = start;
    t.text.keep(s.size());
}

TEST(ReportOutput, ColumnSizingFindsTheWidestTextWithFewMeasurements) {
    ReportTable t = Register(0);
    std::mt19937 rng(7);
    const char* letters[] = {"W", "i", "1", "a", "é", ".", "M", "m", "Z", "z", "0", " "};
    std::vector<std::string> texts;
    for (int i = 0; i < 4000; ++i) {
        std::string s;
        const int n = int(rng() % 14);
        for (int k = 0; k < n; ++k)
            s += letters[rng() % std::size(letters)];
        texts.push_back(s);
    }
    // Rows of mixed lengths: a few long ones of narrow letters, many short ones of wide
    // letters, and repeats.
    texts.push_back(std::string(20, 'i'));
    texts.push_back("WWWWWWWWWW");
    for (int i = 0; i < 3000; ++i)
        texts.push_back(texts[size_t(i) % 50]);
    for (const std::string& s : texts)
        AddSameTextRow(t, s);
    const ReportView view(std::move(t));
    for (size_t column = 0; column < 4; ++column) {
        FractionalCanvas canvas;
        int full = 0;
        for (const ReportRow& r : view.rows())
            full = std::max(full, canvas.textWidth(r.cell(column)));
        const long everyRow = canvas.measured;
        canvas.measured = 0;
        const std::optional<int> widest = WidestCell(canvas, view, column);
        ASSERT_TRUE(widest);
        EXPECT_EQ(*widest, full) << column;
        EXPECT_LT(canvas.measured * 4, everyRow) << column;
    }
    // Ten W measure 94 while their characters' rounded widths add up to 90, below the 93
    // of thirteen a: the rounding of each character's width is allowed for.
    ReportTable two = Register(0);
    for (const std::string& s : {std::string(13, 'a'), std::string(10, 'W')})
        AddSameTextRow(two, s);
    const ReportView pair(std::move(two));
    FractionalCanvas fractional;
    EXPECT_EQ(WidestCell(fractional, pair, 0), 94);

    // An empty column is as wide as its heading.
    ReportTable empty = Register(0);
    const ReportView none(std::move(empty));
    RecordingCanvas canvas;
    EXPECT_EQ(WidestCell(canvas, none, 2), canvas.textWidth("Short Name"));
}

TEST(ReportOutput, TotalsOfManyMillionsKeepTheirColumnsApart) {
    // Two invoices of nine hundred million: their totals are much longer than any usual
    // amount.
    ReportTable t = Register(2);
    for (ReportLine& line : t.rows)
        line.amounts = {9'000'000'000'000, 720'000'000'000, 9'720'000'000'000};
    const ReportView view(std::move(t));
    RecordingCanvas canvas;
    ASSERT_EQ(PrintReport(canvas, view, ReportDefaultFont(), true, "r.pdf"), OutputStatus::Done);
    const CanvasOp* grand = canvas.findText("1,944,000,000.00");
    ASSERT_NE(grand, nullptr);
    // Every row's texts stand side by side without overlapping.
    std::map<std::pair<int, int>, std::vector<const CanvasOp*>> lines;
    const auto texts = canvas.texts();
    for (const CanvasOp& op : texts)
        lines[{op.page, op.y}].push_back(&op);
    for (auto& [at, ops] : lines) {
        std::sort(ops.begin(), ops.end(),
                  [](const CanvasOp* a, const CanvasOp* b) { return a->x < b->x; });
        for (size_t i = 1; i < ops.size(); ++i)
            EXPECT_GE(ops[i]->x, ops[i - 1]->x + canvas.textWidth(ops[i - 1]->text))
                << ops[i - 1]->text << " | " << ops[i]->text;
    }
    // The usual amounts stay right-aligned with the totals below them.
    const CanvasOp* net = canvas.findText("900,000,000.00");
    const CanvasOp* netTotal = canvas.findText("1,800,000,000.00");
    ASSERT_NE(net, nullptr);
    ASSERT_NE(netTotal, nullptr);
    EXPECT_EQ(net->x + canvas.textWidth(net->text), netTotal->x + canvas.textWidth(netTotal->text));
}

TEST(ReportOutput, AStoppedOrFailedPdfLeavesTheOlderFileAsItWas) {
    TempDir dir;
    const ReportView view(Register(400));
    RecordingCanvas canvas;
    canvas.writeFiles(true);
    RecordingProgress stop;
    stop.stopAfter = 2;
    const std::string path = dir.path() + "/r.pdf";
    ASSERT_TRUE(data::ReplaceFile(path, "older"));
    const ReportPdfOutcome out =
        WriteReportPdf(canvas, view, ReportDefaultFont(), dir.path(), path, &stop);
    EXPECT_FALSE(out.ok);
    EXPECT_TRUE(out.stopped);
    EXPECT_EQ(out.error, kReportStopped);
    EXPECT_EQ(data::ReadWholeFile(path), "older");
    EXPECT_FALSE(fs::exists(path + ".new"));
    // The document was closed, not left open, and it was cut short.
    EXPECT_EQ(canvas.documentsEnded(), 1);
    EXPECT_EQ(canvas.pagesBegun(), 3);
    EXPECT_EQ(canvas.findTextContaining("Report Complete"), nullptr);
    EXPECT_EQ(stop.finishes, 1);

    // Left to run, the same report ends with its count on the last page.
    RecordingCanvas whole;
    RecordingProgress shown;
    shown.stopAfter = 1 << 30;  // counts the steps
    ASSERT_EQ(PrintReport(whole, view, ReportDefaultFont(), true, path, &shown),
              OutputStatus::Done);
    EXPECT_NE(whole.findText("Report Complete. 400 record(s) printed."), nullptr);
    EXPECT_EQ(shown.titles, std::vector<std::string>{"Send to PDF"});
    EXPECT_EQ(shown.steps, whole.pagesBegun() - 1);

    // A canvas that cannot start the file: the older file stays, the error names the file
    // asked for, not the one drawn beside it.
    RecordingCanvas refused;
    refused.failBegin("Cannot write the PDF file " + path + ".new.");
    const ReportPdfOutcome failed =
        WriteReportPdf(refused, view, ReportDefaultFont(), dir.path(), path, nullptr);
    EXPECT_FALSE(failed.ok);
    EXPECT_FALSE(failed.stopped);
    EXPECT_EQ(failed.error, "Cannot write the PDF file " + path + ".");
    EXPECT_EQ(data::ReadWholeFile(path), "older");

    // A whole report replaces it.
    RecordingCanvas done;
    done.writeFiles(true);
    const ReportPdfOutcome made =
        WriteReportPdf(done, view, ReportDefaultFont(), dir.path(), path, nullptr);
    ASSERT_TRUE(made.ok) << made.error;
    EXPECT_NE(data::ReadWholeFile(path)->find("Report Complete. 400 record(s) printed."),
              std::string::npos);
    EXPECT_FALSE(fs::exists(path + ".new"));
}

}  // namespace
}  // namespace invarro::output
