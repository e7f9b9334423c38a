#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <sstream>

#include "RecordingShell.h"
#include "platform/qt/PainterCanvas.h"
#include "platform/qt/PdfInfo.h"
#include "support/PdfTools.h"
#include "support/QtApp.h"
#include "support/TempDir.h"

namespace invarro::platform::qt {
namespace {

using output::Brush;
using output::BrushStyle;
using output::Font;
using output::ImageQuality;
using output::Orientation;
using output::Pen;
using testing::PdfInfo;
using testing::PdfText;
using testing::RecordingShell;
using testing::RunCommand;
using testing::ShellQuote;
using testing::TempDir;

// pdfinfo's fields of the file as wanted; an empty value wants the field absent.
void ExpectInfo(const std::string& file, const std::map<std::string, std::string>& wanted) {
    auto info = PdfInfo(file);
    for (const auto& [field, value] : wanted) {
        if (value.empty())
            EXPECT_EQ(info.count(field), 0u) << field;
        else
            EXPECT_EQ(info[field], value) << field;
    }
}

class PdfCanvasTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }

    // A picture file with a diagonal, for the image tests.
    std::string makePicture(const char* name, const char* format) {
        QImage image(80, 40, QImage::Format_RGB32);
        image.fill(Qt::white);
        for (int x = 0; x < 80; ++x)
            image.setPixel(x, x / 2, qRgb(200, 0, 0));
        const std::string path = dir.file(name);
        EXPECT_TRUE(image.save(QString::fromStdString(path), format));
        return path;
    }

    // pdfimages -list rows: encoding and object number of each image placed.
    std::vector<std::pair<std::string, std::string>> images(const std::string& pdf) {
        std::istringstream in(RunCommand("pdfimages -list " + ShellQuote(pdf)).output);
        std::vector<std::pair<std::string, std::string>> rows;
        std::string line;
        std::getline(in, line);
        std::getline(in, line);
        while (std::getline(in, line)) {
            std::istringstream f(line);
            std::string page, num, type, w, h, color, comp, bpc, enc, interp, object;
            f >> page >> num >> type >> w >> h >> color >> comp >> bpc >> enc >> interp >> object;
            rows.emplace_back(enc, object);
        }
        return rows;
    }

    TempDir dir;
    RecordingShell viewer;
};

TEST_F(PdfCanvasTest, WritesLetterPagesWithInformationAndText) {
    PainterCanvas c(&viewer);
    c.setDocumentInfo({"Invoice - 1001", "Müller & Söhne GmbH", "INVOICE 1001", "Invarro 0.1"});
    // US Letter less a printable area's quarter inch (64 units) on every side.
    EXPECT_EQ(c.pageWidth(), 2159 - 128);
    EXPECT_EQ(c.pageHeight(), 2794 - 128);
    EXPECT_EQ(c.resolutionX(), 254);
    EXPECT_EQ(c.resolutionY(), 254);
    const std::string file = dir.file("Invoice-1001.pdf");
    ASSERT_TRUE(c.beginDocument(file)) << c.lastError();
    EXPECT_EQ(c.pageNumber(), 1);
    c.setFont(Font{"Arial", 12});
    c.textOut(200, 200, "Bill To: Zoë Ångström");
    c.setFont(Font{"Times New Roman", 14, {0, 0, 200}, output::kBold});
    c.textOut(200, 300, "INVOICE");
    c.setFont(Font{"Courier New", 10, output::kBlack, output::kItalic | output::kUnderline});
    c.textOut(200, 400, "Qty 12.50 @ €9.99");
    c.setPen(Pen{3});
    c.moveTo(2, 500);
    c.lineTo(2157, 500);
    c.setBrush(Brush{BrushStyle::BackwardDiagonal, output::kBlack});
    c.rectangle(20, 520, 2139, 700);
    ASSERT_TRUE(c.newPage());
    EXPECT_EQ(c.pageNumber(), 2);
    c.textOut(200, 200, "Continued page");
    ASSERT_TRUE(c.endDocument()) << c.lastError();
    EXPECT_EQ(c.pageNumber(), 0);

    ExpectInfo(file, {{"Page size", "612 x 792 pts (letter)"},
                      {"Pages", "2"},
                      {"Title", "Invoice - 1001"},
                      {"Author", "Müller & Söhne GmbH"},
                      {"Subject", "INVOICE 1001"},
                      {"Producer", "Invarro 0.1"}});

    const std::string page1 = PdfText(file, 1);
    EXPECT_NE(page1.find("Bill To: Zoë Ångström"), std::string::npos) << page1;
    EXPECT_NE(page1.find("INVOICE"), std::string::npos) << page1;
    EXPECT_NE(page1.find("Qty 12.50 @ €9.99"), std::string::npos) << page1;
    EXPECT_EQ(page1.find("Continued page"), std::string::npos);
    EXPECT_NE(PdfText(file, 2).find("Continued page"), std::string::npos);

    // The standard faces come out as their metric twins.
    const std::string fonts = RunCommand("pdffonts " + ShellQuote(file)).output;
    EXPECT_NE(fonts.find("LiberationSans"), std::string::npos) << fonts;
    EXPECT_NE(fonts.find("LiberationSerif"), std::string::npos) << fonts;
    EXPECT_NE(fonts.find("LiberationMono"), std::string::npos) << fonts;

    // Finished files open in the viewer.
    EXPECT_EQ(viewer.opened, std::vector<std::string>{file});
}

TEST_F(PdfCanvasTest, LandscapeTurnsThePage) {
    PainterCanvas c(nullptr);
    c.setOrientation(Orientation::Landscape);
    EXPECT_EQ(c.pageWidth(), 2794 - 128);
    EXPECT_EQ(c.pageHeight(), 2159 - 128);
    const std::string file = dir.file("Report-Sales.pdf");
    ASSERT_TRUE(c.beginDocument(file));
    c.textOut(2400, 100, "far right");
    c.setOrientation(Orientation::Portrait);  // too late for this document
    EXPECT_EQ(c.pageWidth(), 2794 - 128);
    ASSERT_TRUE(c.endDocument()) << c.lastError();
    EXPECT_EQ(PdfInfo(file)["Page size"], "792 x 612 pts (letter)");
    EXPECT_NE(PdfText(file).find("far right"), std::string::npos);
    EXPECT_EQ(c.pageWidth(), 2159 - 128);  // the next document is portrait
}

TEST_F(PdfCanvasTest, APdfIsOnTheChosenPaperFromTheNextDocumentOn) {
    PainterCanvas c(nullptr);
    c.setPaperSize(data::PaperSize::A4);
    // A4 (210 x 297 mm) less the quarter inch on every side.
    EXPECT_EQ(c.pageWidth(), 2100 - 128);
    EXPECT_EQ(c.pageHeight(), 2970 - 128);
    const std::string file = dir.file("Invoice-3001.pdf");
    ASSERT_TRUE(c.beginDocument(file));
    c.textOut(c.pageWidth() - c.textWidth("right edge"), c.pageHeight() - 60, "right edge");
    c.setPaperSize(data::PaperSize::Letter);  // too late for this document
    EXPECT_EQ(c.pageWidth(), 2100 - 128);
    ASSERT_TRUE(c.endDocument()) << c.lastError();
    EXPECT_EQ(PdfInfo(file)["Page size"], "595 x 842 pts (A4)");
    EXPECT_NE(PdfText(file).find("right edge"), std::string::npos);
    EXPECT_EQ(c.pageWidth(), 2159 - 128);  // the next document is on Letter
    // Landscape A4.
    c.setPaperSize(data::PaperSize::A4);
    c.setOrientation(Orientation::Landscape);
    EXPECT_EQ(c.pageWidth(), 2970 - 128);
    EXPECT_EQ(c.pageHeight(), 2100 - 128);
}

// The canvas's origin is the corner of the printable area, a quarter inch in from the
// sheet's edges: a layout drawn from 0 is where a printer would put it.
TEST_F(PdfCanvasTest, TextSitsByTheTopLeftOfItsCellInsideThePrintableArea) {
    PainterCanvas c(nullptr);
    const std::string file = dir.file("pos.pdf");
    ASSERT_TRUE(c.beginDocument(file));
    c.setFont(Font{"Arial", 10});
    const int h = c.textHeight("MXjpy");
    c.textOut(508, 1016, "Marker");  // 2 inches right, 4 inches down of the printable area
    c.textOut(0, 0, "Corner");
    c.textOut(c.pageWidth() - c.textWidth("Edge"), c.pageHeight() - h, "Edge");
    ASSERT_TRUE(c.endDocument());
    double width = 0, height = 0;
    std::map<std::string, testing::PdfWord> words;
    for (const testing::PdfWord& w : testing::PdfWords(file, &width, &height))
        words[w.text] = w;
    ASSERT_EQ(words.size(), 3u);
    const double margin = 64 * 72.0 / 254.0;  // 18.14 points
    const testing::PdfWord& m = words["Marker"];
    EXPECT_NEAR(m.x1, margin + 144.0, 1.0);
    const double top = margin + 288.0, bottom = top + h * 72.0 / 254.0;
    EXPECT_GE(m.y1, top - 0.5);
    EXPECT_LE(m.y2, bottom + 0.5);
    // The printable area's corners are a quarter inch from the paper's edges, no closer.
    EXPECT_NEAR(words["Corner"].x1, margin, 0.5);
    EXPECT_GE(words["Corner"].y1, 18.0);
    EXPECT_LE(words["Edge"].x2, width - 18.0);
    EXPECT_LE(words["Edge"].y2, height - 18.0);
    EXPECT_GT(words["Edge"].x2, width - margin - 1.0);
}

TEST_F(PdfCanvasTest, MeasuresTextInDeviceUnits) {
    PainterCanvas c(nullptr);
    c.setFont(Font{"Courier New", 10});
    // 10 points at 254 units per inch make an em of 35 units; a text cell is a bit more.
    EXPECT_GE(c.textHeight("MXjpy"), 35);
    EXPECT_LE(c.textHeight("MXjpy"), 45);
    EXPECT_EQ(c.textHeight("."), c.textHeight("MXjpy"));
    // Courier's characters are 0.6 em wide.
    EXPECT_NEAR(c.textWidth("XXXXXXXXXX"), 10 * 0.6 * 35.28, 3);
    EXPECT_EQ(c.textWidth(""), 0);
    c.setFont(Font{"Arial", 20});
    EXPECT_NEAR(
        c.textHeight("x"),
        2 *
            [&] {
                PainterCanvas d(nullptr);
                d.setFont(Font{"Arial", 10});
                return d.textHeight("x");
            }(),
        2);
    EXPECT_GT(c.textWidth("WWW"), c.textWidth("iii"));
    // Sizes from a damaged setting do not break measuring.
    c.setFont(Font{"Arial", 0});
    EXPECT_GT(c.textHeight("x"), 0);
    c.setFont(Font{"No Such Face At All", 10});
    EXPECT_GT(c.textWidth("abc"), 0);
}

// Text cut at the end until it fits, as the statement's columns are.
std::string Fit(const std::function<int(const std::string&)>& width, std::string t, int w) {
    while (!t.empty() && width(t) > w)
        t.pop_back();
    return t;
}

TEST_F(PdfCanvasTest, RememberedWidthsBelongToTheirOwnFont) {
    const std::vector<Font> fonts = {
        Font{"Arial", 10},
        Font{"Arial", 11},
        Font{"Arial", 10, output::kBlack, output::kBold},
        Font{"Arial", 10, output::kBlack, output::kItalic},
        Font{"Times New Roman", 10},
        Font{"Courier New", 9},
        Font{"Arial", 10, output::Color{200, 0, 0}},  // the colour changes no width
    };
    const std::vector<std::string> texts = {"Monthly Service",
                                            "1,391.24",
                                            "0.00",
                                            "XXXXXXXX",
                                            "Partial Payment Invoice with a long note",
                                            "Müller",
                                            "iiiiiiii",
                                            "WWWWWWWW",
                                            " "};
    PainterCanvas cached(nullptr);
    // Twice round, so that the second round answers from what the first one measured,
    // with every other font measured in between.
    for (int round = 0; round < 2; ++round) {
        for (const Font& f : fonts) {
            cached.setFont(f);
            const QFontMetricsF m(cached.deviceFont());
            auto measured = [&m](const std::string& t) {
                return int(std::lround(m.horizontalAdvance(QString::fromStdString(t))));
            };
            auto remembered = [&cached](const std::string& t) { return cached.textWidth(t); };
            for (const std::string& t : texts) {
                SCOPED_TRACE(f.face + " " + std::to_string(f.size) + " " + t);
                EXPECT_EQ(cached.textWidth(t), measured(t));
                for (int w : {0, 100, 150, 250, 400})
                    EXPECT_EQ(Fit(remembered, t, w), Fit(measured, t, w));
            }
        }
    }
    // A larger size measures wider, a bold face wider than the plain one.
    cached.setFont(fonts[0]);
    const int plain = cached.textWidth("Monthly Service");
    cached.setFont(fonts[1]);
    EXPECT_GT(cached.textWidth("Monthly Service"), plain);
    cached.setFont(fonts[2]);
    EXPECT_GT(cached.textWidth("Monthly Service"), plain);
}

TEST_F(PdfCanvasTest, ACanvasCarriesNothingFromOneDocumentToTheNext) {
    PainterCanvas c(nullptr);
    const std::string first = dir.file("first.pdf"), second = dir.file("second.pdf");
    c.setDocumentInfo({"First title", "Author One", "Subject One", "Producer One"});
    c.setOrientation(Orientation::Landscape);
    ASSERT_TRUE(c.beginDocument(first));
    c.setFont(Font{"Arial", 14});
    c.textOut(100, 100, "first document");
    ASSERT_TRUE(c.newPage());
    c.textOut(100, 100, "its second page");
    ASSERT_TRUE(c.endDocument()) << c.lastError();

    c.setDocumentInfo({"Second title", "", "Subject Two", "Producer Two"});
    c.setOrientation(Orientation::Portrait);
    ASSERT_TRUE(c.beginDocument(second));
    EXPECT_EQ(c.pageNumber(), 1);
    c.textOut(100, 100, "other document");
    ASSERT_TRUE(c.endDocument()) << c.lastError();

    ExpectInfo(first, {{"Pages", "2"},
                       {"Page size", "792 x 612 pts (letter)"},
                       {"Title", "First title"},
                       {"Author", "Author One"}});
    ExpectInfo(second, {{"Pages", "1"},
                        {"Page size", "612 x 792 pts (letter)"},
                        {"Title", "Second title"},
                        {"Author", ""},
                        {"Subject", "Subject Two"},
                        {"Producer", "Producer Two"}});
    EXPECT_NE(PdfText(second).find("other document"), std::string::npos);
    EXPECT_EQ(PdfText(second).find("first document"), std::string::npos);
    EXPECT_EQ(PdfText(second).find("second page"), std::string::npos);
    EXPECT_NE(PdfText(first, 2).find("its second page"), std::string::npos);
}

TEST_F(PdfCanvasTest, PicturesAreKeptLosslessOrCompactAndStoredOnce) {
    const std::string bmp = makePicture("logo.bmp", "BMP");
    const std::string jpg = makePicture("logo.jpg", "JPEG");
    PainterCanvas c(nullptr);
    ASSERT_TRUE(c.imageSize(bmp));
    EXPECT_EQ(c.imageSize(bmp)->width, 80);
    EXPECT_EQ(c.imageSize(jpg)->height, 40);

    const std::string invoice = dir.file("lossless.pdf");
    ASSERT_TRUE(c.beginDocument(invoice));
    EXPECT_TRUE(c.stretchDraw(100, 100, 500, 300, bmp));
    c.newPage();
    EXPECT_TRUE(c.stretchDraw(100, 100, 500, 300, bmp));
    ASSERT_TRUE(c.endDocument());
    auto rows = images(invoice);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].first, "image");  // raw pixels, not JPEG
    EXPECT_EQ(rows[0].second, rows[1].second) << "the logo is stored once for both pages";

    const std::string report = dir.file("compact.pdf");
    c.setImageQuality(ImageQuality::Compact);
    ASSERT_TRUE(c.beginDocument(report));
    EXPECT_TRUE(c.stretchDraw(100, 100, 500, 300, jpg));
    ASSERT_TRUE(c.endDocument());
    rows = images(report);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].first, "jpeg");
    // Resampled to the drawn size, 400 x 200 device units.
    const std::string list = RunCommand("pdfimages -list " + ShellQuote(report)).output;
    EXPECT_NE(list.find("   400   200"), std::string::npos) << list;
}

TEST_F(PdfCanvasTest, APictureThatCannotBeReadIsRefused) {
    testing::WriteFileBytes(dir.file("broken.jpg"), "not a picture");
    PainterCanvas c(nullptr);
    EXPECT_FALSE(c.imageSize(dir.file("missing.bmp")));
    EXPECT_FALSE(c.imageSize(dir.file("broken.jpg")));
    ASSERT_TRUE(c.beginDocument(dir.file("x.pdf")));
    EXPECT_FALSE(c.stretchDraw(0, 0, 100, 100, dir.file("broken.jpg")));
    EXPECT_NE(c.lastError().find("broken.jpg"), std::string::npos);
    EXPECT_TRUE(c.endDocument());
}

TEST_F(PdfCanvasTest, AFileThatCannotBeWrittenStopsTheDocumentCleanly) {
    PainterCanvas c(&viewer);
    EXPECT_FALSE(c.beginDocument(dir.file("no/such/folder/x.pdf")));
    EXPECT_NE(c.lastError().find("x.pdf"), std::string::npos);
    EXPECT_EQ(c.pageNumber(), 0);
    c.textOut(0, 0, "ignored");
    c.rectangle(0, 0, 10, 10);
    EXPECT_FALSE(c.newPage());
    EXPECT_FALSE(c.endDocument());
    EXPECT_FALSE(c.beginDocument(""));
    EXPECT_TRUE(viewer.opened.empty());
}

TEST_F(PdfCanvasTest, ADocumentCannotBeBegunTwice) {
    PainterCanvas c(nullptr);
    ASSERT_TRUE(c.beginDocument(dir.file("a.pdf")));
    EXPECT_FALSE(c.beginDocument(dir.file("b.pdf")));
    EXPECT_TRUE(c.endDocument());
    EXPECT_FALSE(std::filesystem::exists(dir.file("b.pdf")));
}

TEST_F(PdfCanvasTest, AnAbandonedDocumentLeavesNoHalfFile) {
    const std::string file = dir.file("half.pdf");
    {
        PainterCanvas c(&viewer);
        ASSERT_TRUE(c.beginDocument(file));
        c.textOut(0, 0, "never finished");
    }
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(viewer.opened.empty());
}

TEST_F(PdfCanvasTest, OpeningInTheViewerCanBeLeftOutOrFail) {
    {
        PainterCanvas c(&viewer);
        c.setOpenWhenDone(false);
        ASSERT_TRUE(c.beginDocument(dir.file("quiet.pdf")));
        ASSERT_TRUE(c.endDocument());
        EXPECT_TRUE(viewer.opened.empty());
    }
    viewer.succeed = false;
    PainterCanvas c(&viewer);
    ASSERT_TRUE(c.beginDocument(dir.file("noviewer.pdf")));
    EXPECT_TRUE(c.endDocument()) << "the file itself is complete";
    EXPECT_NE(c.lastError().find("no PDF viewer"), std::string::npos) << c.lastError();
    EXPECT_EQ(PdfInfo(dir.file("noviewer.pdf"))["Pages"], "1");
}

TEST(PdfInfoTest, EmptyValuesRemoveEntriesAndPermissionsStay) {
    testing::QtApp();
    TempDir dir;
    const std::string file = dir.file("i.pdf");
    {
        PainterCanvas c(nullptr);
        c.setDocumentInfo({"T", "A", "S", "P"});
        ASSERT_TRUE(c.beginDocument(file));
        ASSERT_TRUE(c.endDocument());
    }
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(SetPdfInfo(file, {"New title", "", "Subject “quoted”", ""}));
    auto info = PdfInfo(file);
    EXPECT_EQ(info["Title"], "New title");
    EXPECT_EQ(info["Subject"], "Subject “quoted”");
    EXPECT_EQ(info.count("Author"), 0u);
    EXPECT_EQ(info.count("Producer"), 0u);
    struct stat st {};
    ::stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

// A PDF as Qt's writer leaves it, with a title of the given length.
std::string QtPdf(int pages, int titleLength) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setTitle(QString(titleLength, QLatin1Char(' ')));
        writer.setCreator(QStringLiteral("Invarro"));
        QPainter painter(&writer);
        for (int p = 1; p <= pages; ++p) {
            if (p > 1) writer.newPage();
            painter.drawText(100, 100, QStringLiteral("Page text %1").arg(p));
        }
    }
    return std::string(buffer.data().constData(), size_t(buffer.data().size()));
}

// Every object the cross-reference table lists starts where the table says.
void ExpectOffsetsHold(const std::string& pdf) {
    const size_t sx = pdf.rfind("startxref");
    ASSERT_NE(sx, std::string::npos);
    const size_t xref = std::stoul(pdf.substr(sx + 9));
    ASSERT_EQ(pdf.compare(xref, 4, "xref"), 0);
    std::smatch m;
    const std::string table = pdf.substr(xref);
    ASSERT_TRUE(std::regex_search(table, m, std::regex(R"(^xref\s+(\d+) (\d+)\s+)")));
    const int first = std::stoi(m[1]), count = std::stoi(m[2]);
    const size_t entries = xref + size_t(m.length(0));
    int checked = 0;
    for (int k = 0; k < count; ++k) {
        const std::string e = pdf.substr(entries + 20 * size_t(k), 20);
        if (e[17] != 'n') continue;
        const std::string head = std::to_string(first + k) + " 0 obj";
        EXPECT_EQ(pdf.compare(std::stoul(e.substr(0, 10)), head.size(), head), 0) << head;
        ++checked;
    }
    EXPECT_GT(checked, 5);
}

TEST(PdfInfoTest, InPlaceChangeKeepsTheFileWhole) {
    testing::QtApp();
    TempDir dir;
    const std::string file = dir.file("inplace.pdf");
    const output::DocumentInfo info{"Statement (draft) \\ 1", "Müller & Söhne GmbH", "",
                                    "Invarro invoicing"};
    const std::string before = QtPdf(2, PdfInfoRoom(info));
    testing::WriteFileBytes(file, before);
    ASSERT_TRUE(SetPdfInfoInPlace(file, info));
    const std::string after = testing::ReadFileBytes(file);
    EXPECT_EQ(after.size(), before.size());
    ExpectOffsetsHold(after);
    // The entries besides the four stay.
    ExpectInfo(file, {{"Title", "Statement (draft) \\ 1"},
                      {"Author", "Müller & Söhne GmbH"},
                      {"Subject", ""},
                      {"Producer", "Invarro invoicing"},
                      {"Creator", "Invarro"},
                      {"Pages", "2"}});
    EXPECT_FALSE(PdfInfo(file)["CreationDate"].empty());
    EXPECT_NE(PdfText(file, 2).find("Page text 2"), std::string::npos);

    // Its own result is changed again: shorter, over the hex strings and the padding.
    ASSERT_TRUE(SetPdfInfoInPlace(file, {"T", "", "Subject “quoted”", ""}));
    ExpectOffsetsHold(testing::ReadFileBytes(file));
    ExpectInfo(file, {{"Title", "T"},
                      {"Author", ""},
                      {"Subject", "Subject “quoted”"},
                      {"Producer", ""},
                      {"Creator", "Invarro"}});
}

TEST(PdfInfoTest, InPlaceChangeLeavesOtherLayoutsAlone) {
    testing::QtApp();
    TempDir dir;
    const output::DocumentInfo info{"A title", "An author", "A subject", "A producer"};
    const std::string roomy = QtPdf(1, PdfInfoRoom(info));
    const std::vector<std::string> others = {
        "%PDF-1.4 but nothing else",
        "",
        QtPdf(1, 1),  // too little room
        roomy.substr(0, roomy.size() - 30),
        // an incremental update on top of Qt's file
        roomy +
            "xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Size 18 /Root 2 0 R /Info 1 0 R "
            "/Prev 100 >>\nstartxref\n" +
            std::to_string(roomy.size()) + "\n%%EOF\n",
        // a dictionary with values other than strings and names
        std::regex_replace(roomy, std::regex("/Info 1 0 R"), "/Info 2 0 R"),
    };
    const std::string file = dir.file("other.pdf");
    for (const std::string& bytes : others) {
        testing::WriteFileBytes(file, bytes);
        EXPECT_FALSE(SetPdfInfoInPlace(file, info)) << bytes.size();
        EXPECT_EQ(testing::ReadFileBytes(file), bytes);
    }
    EXPECT_FALSE(SetPdfInfoInPlace(dir.file("missing.pdf"), info));
    // The room that was left is enough.
    testing::WriteFileBytes(file, roomy);
    EXPECT_TRUE(SetPdfInfoInPlace(file, info));
    EXPECT_EQ(PdfInfo(file)["Producer"], "A producer");
}

TEST(PdfInfoTest, AFileThatIsNoPdfIsLeftAlone) {
    TempDir dir;
    const std::string file = dir.file("fake.pdf");
    testing::WriteFileBytes(file, "%PDF-1.4 but nothing else");
    std::string error;
    EXPECT_FALSE(SetPdfInfo(file, {"T", "A", "S", "P"}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(testing::ReadFileBytes(file), "%PDF-1.4 but nothing else");
    EXPECT_FALSE(SetPdfInfo(dir.file("missing.pdf"), {}, &error));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

}  // namespace
}  // namespace invarro::platform::qt
