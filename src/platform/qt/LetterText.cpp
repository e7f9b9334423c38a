#include "platform/qt/LetterText.h"

#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <algorithm>
#include <cmath>
#include <memory>

#include "platform/qt/PrintSystem.h"
#include "platform/qt/QtFonts.h"

namespace invarro::platform::qt {

namespace {

using output::Alignment;
using output::RtfDocument;
using output::RtfParagraph;
using output::RtfRun;

// The editor lays text out at 96 pixels per inch: 15 twips to the pixel.
constexpr double kTwipsPerPixel = 15.0;

double Pixels(int twips) {
    return twips / kTwipsPerPixel;
}

int Twips(double pixels) {
    return int(std::lround(pixels * kTwipsPerPixel));
}

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QTextCharFormat CharFormatOf(const RtfRun& run) {
    QTextCharFormat f;
    f.setFontFamilies(QStringList{Q(run.font.face)});
    f.setFontPointSize(run.sizeInHalfPoints() / 2.0);
    f.setFontWeight(run.font.bold() ? QFont::Bold : QFont::Normal);
    f.setFontItalic(run.font.italic());
    f.setFontUnderline(run.font.underline());
    f.setFontStrikeOut(run.font.strikeOut());
    f.setForeground(platform::qt::ToQColor(run.font.color));
    return f;
}

RtfRun RunOf(const QTextCharFormat& f, const QFont& fallback) {
    RtfRun run;
    const QStringList families = f.fontFamilies().toStringList();
    run.font.face =
        (families.isEmpty() ? fallback.family() : families.front()).toUtf8().toStdString();
    double points = f.fontPointSize();
    if (points <= 0) points = fallback.pointSizeF() > 0 ? fallback.pointSizeF() : 10;
    const int half = std::max(2, int(std::lround(points * 2)));
    run.font.size = half / 2;
    run.halfPoints = half % 2 ? half : 0;
    std::uint8_t style = 0;
    if (f.fontWeight() >= QFont::DemiBold) style |= output::kBold;
    if (f.fontItalic()) style |= output::kItalic;
    if (f.fontUnderline()) style |= output::kUnderline;
    if (f.fontStrikeOut()) style |= output::kStrikeOut;
    run.font.style = style;
    run.font.color = f.foreground().style() == Qt::NoBrush
                         ? output::kBlack
                         : platform::qt::FromQColor(f.foreground().color());
    return run;
}

Qt::Alignment QtAlignment(Alignment a) {
    switch (a) {
        case Alignment::Center:
            return Qt::AlignHCenter;
        case Alignment::Right:
            return Qt::AlignRight;
        case Alignment::Justify:
            return Qt::AlignJustify;
        case Alignment::Left:
            break;
    }
    return Qt::AlignLeft;
}

Alignment AlignmentOf(Qt::Alignment a) {
    a &= Qt::AlignHorizontal_Mask;
    if (a & Qt::AlignHCenter) return Alignment::Center;
    if (a & Qt::AlignJustify) return Alignment::Justify;
    if (a & Qt::AlignRight) return Alignment::Right;
    return Alignment::Left;
}

bool BulletList(const QTextList* list) {
    if (!list) return false;
    const auto style = list->format().style();
    return style == QTextListFormat::ListDisc || style == QTextListFormat::ListCircle ||
           style == QTextListFormat::ListSquare;
}

}  // namespace

void ToTextDocument(const RtfDocument& given, QTextDocument& text) {
    const RtfDocument document = output::NormalizedDocument(given);
    text.clear();
    QTextCursor cursor(&text);
    QTextList* list = nullptr;
    bool first = true;
    for (const RtfParagraph& p : document.paragraphs) {
        QTextBlockFormat block;
        block.setAlignment(QtAlignment(p.alignment));
        block.setTextIndent(Pixels(p.firstIndent));
        block.setLeftMargin(Pixels(p.leftIndent));
        block.setRightMargin(Pixels(p.rightIndent));
        const QTextCharFormat lineFormat = CharFormatOf(p.runs.front());
        if (first) {
            cursor.setBlockFormat(block);
            cursor.setBlockCharFormat(lineFormat);
            first = false;
        } else {
            cursor.insertBlock(block, lineFormat);
        }
        if (p.bullet) {
            if (list)
                list->add(cursor.block());
            else
                list = cursor.createList(QTextListFormat::ListDisc);
        } else {
            list = nullptr;
        }
        for (const RtfRun& r : p.runs) {
            QString piece = Q(r.text);
            piece.replace(QChar('\n'), QChar(QChar::LineSeparator));
            if (!piece.isEmpty()) cursor.insertText(piece, CharFormatOf(r));
        }
    }
    text.setModified(false);
}

RtfDocument FromTextDocument(const QTextDocument& text) {
    RtfDocument doc;
    const QFont fallback = text.defaultFont();
    for (QTextBlock block = text.begin(); block.isValid(); block = block.next()) {
        RtfParagraph p;
        const QTextBlockFormat f = block.blockFormat();
        p.alignment = AlignmentOf(f.alignment());
        p.firstIndent = Twips(f.textIndent());
        p.leftIndent = Twips(f.leftMargin());
        p.rightIndent = Twips(f.rightMargin());
        p.bullet = BulletList(block.textList());
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid()) continue;
            QString piece = fragment.text();
            piece.replace(QChar(QChar::LineSeparator), QChar('\n'));
            piece.remove(QChar(QChar::ObjectReplacementCharacter));
            RtfRun run = RunOf(fragment.charFormat(), fallback);
            run.text = piece.toUtf8().toStdString();
            p.runs.push_back(std::move(run));
        }
        if (p.runs.empty()) p.runs.push_back(RunOf(block.charFormat(), fallback));
        doc.paragraphs.push_back(std::move(p));
    }
    return output::NormalizedDocument(doc);
}

namespace {

// A letter is laid out at the editor's 96 pixels per inch, where its indents are given,
// and drawn scaled to the device.
constexpr double kLayoutDpi = 96.0;

// Draws the letter on the painter's device page by page, beginning with a new page unless
// it is the first thing on the device; returns its pages.
int DrawLetter(QPainter& painter, QPagedPaintDevice& device, const output::RtfDocument& letter,
               bool newPageFirst) {
    QTextDocument text;
    // A fixed layout resolution, whatever the screen: the same letter gives the same pages.
    QImage layoutDevice(1, 1, QImage::Format_RGB32);
    layoutDevice.setDotsPerMeterX(int(std::lround(kLayoutDpi / 0.0254)));
    layoutDevice.setDotsPerMeterY(int(std::lround(kLayoutDpi / 0.0254)));
    text.documentLayout()->setPaintDevice(&layoutDevice);
    ToTextDocument(letter, text);
    const int dpi = device.logicalDpiX() > 0 ? device.logicalDpiX() : 1200;
    const double scale = dpi / kLayoutDpi;
    // The painter's origin is the corner of the printable area.
    const QRect area = device.pageLayout().paintRectPixels(dpi);
    const QSizeF page(area.width() / scale, area.height() / scale);
    QTextFrameFormat frame = text.rootFrame()->frameFormat();
    frame.setMargin(kLetterMarginInches * kLayoutDpi);
    text.rootFrame()->setFrameFormat(frame);
    text.setPageSize(page);
    const int pages = std::max(1, text.pageCount());
    for (int p = 0; p < pages; ++p) {
        if (newPageFirst || p > 0) device.newPage();
        painter.save();
        painter.scale(scale, scale);
        painter.translate(0, -p * page.height());
        text.drawContents(&painter, QRectF(QPointF(0, p * page.height()), page));
        painter.restore();
    }
    return pages;
}

}  // namespace

LetterPrinter::LetterPrinter(QPrinter& printer) : printer_(&printer) {}

LetterPrinter::LetterPrinter(std::string pdfFile) : pdfFile_(std::move(pdfFile)) {}

bool LetterPrinter::collects() const {
    return !printer_ || printer_->outputFormat() == QPrinter::PdfFormat;
}

bool LetterPrinter::printLetter(const output::RtfDocument& letter, const std::string& title,
                                std::string* error) {
    title_ = title;
    if (collects()) {
        letters_.push_back(letter);
        return true;
    }
    // On a printer every letter is a print job of its own, titled with the letter's file.
    printer_->setDocName(QString::fromStdString(title));
    printer_->setFullPage(false);
    if (const PrintCheck check = DestinationAccepts(*printer_); !check.ok) {
        if (error) *error = check.error;
        return false;
    }
    const JobWatch watch(*printer_);
    QPainter painter;
    if (!painter.begin(printer_)) {
        if (error) *error = "The printer could not be started.";
        return false;
    }
    pages_ = DrawLetter(painter, *printer_, letter, false);
    if (!painter.end() || printer_->printerState() == QPrinter::Error ||
        printer_->printerState() == QPrinter::Aborted) {
        if (error) *error = "The letter could not be printed.";
        return false;
    }
    if (const PrintCheck taken = watch.accepted(); !taken.ok) {
        if (error) *error = taken.error;
        return false;
    }
    return true;
}

bool LetterPrinter::finish(std::string* error) {
    if (!collects() || letters_.empty()) return true;
    const std::vector<output::RtfDocument> letters = std::move(letters_);
    letters_.clear();
    QPainter painter;
    std::unique_ptr<QPdfWriter> writer;
    QPagedPaintDevice* device = printer_;
    if (printer_) {
        printer_->setDocName(QString::fromStdString(title_));
        printer_->setFullPage(false);
    } else {
        writer = std::make_unique<QPdfWriter>(QString::fromStdString(pdfFile_));
        writer->setResolution(1200);
        writer->setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait,
                                          QMarginsF(6.4, 6.4, 6.4, 6.4), QPageLayout::Millimeter));
        writer->setTitle(QString::fromStdString(title_));
        writer->setCreator(QStringLiteral("Invarro"));
        device = writer.get();
    }
    if (!painter.begin(device)) {
        if (error)
            *error = "Cannot write the PDF file " +
                     (printer_ ? printer_->outputFileName().toStdString() : pdfFile_) + ".";
        return false;
    }
    pages_ = 0;
    for (std::size_t i = 0; i < letters.size(); ++i)
        pages_ += DrawLetter(painter, *device, letters[i], i > 0);
    if (!painter.end()) {
        if (error) *error = "The letters could not be written.";
        return false;
    }
    return true;
}

}  // namespace invarro::platform::qt
