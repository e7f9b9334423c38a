#include "platform/qt/PainterCanvas.h"

#include "platform/qt/FacturX.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFontMetricsF>
#include <QImageReader>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QPrinter>
#include <algorithm>
#include <cmath>

#include "data/OwnFiles.h"
#include "platform/qt/PdfInfo.h"
#include "platform/qt/PrintSystem.h"
#include "platform/qt/Printer.h"
#include "platform/qt/QtFonts.h"

namespace invarro::platform::qt {

namespace {

// A PDF page in tenths of a millimetre: US Letter or A4.
constexpr int kPdfResolution = 254;
struct Sheet {
    int width, height;
};
constexpr Sheet kLetter{2159, 2794};
constexpr Sheet kA4{2100, 2970};
Sheet SheetOf(data::PaperSize paper) {
    return paper == data::PaperSize::A4 ? kA4 : kLetter;
}
// No printer puts ink within about a quarter inch of the paper's edge, so a PDF keeps
// that much clear on every side and looks as the page comes out of a printer: 6.4 mm,
// the quarter inch rounded up to whole device units.
constexpr int kPdfMargin = 64;
constexpr double kPdfMarginMm = kPdfMargin / 10.0;
// Past this many measured texts the width cache starts again.
constexpr size_t kWidthCacheLimit = 50000;

QPageLayout::Orientation ToQt(output::Orientation o) {
    return o == output::Orientation::Landscape ? QPageLayout::Landscape : QPageLayout::Portrait;
}

QString ToQString(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// A printer that writes a PDF file (printing to a file) lays the page out as the
// program's own PDF files on the paper of its dialog: it has no edge of its own that it
// cannot reach, so it keeps the same margin clear and draws in the same device units.
QPageLayout PdfPrinterLayout(QPageLayout layout) {
    const QMarginsF m = layout.margins(QPageLayout::Millimeter);
    const QMarginsF wanted(std::max(m.left(), kPdfMarginMm), std::max(m.top(), kPdfMarginMm),
                           std::max(m.right(), kPdfMarginMm), std::max(m.bottom(), kPdfMarginMm));
    if (wanted != m) {
        layout.setMode(QPageLayout::StandardMode);
        layout.setUnits(QPageLayout::Millimeter);
        layout.setMargins(wanted);
    }
    return layout;
}

// The canvas draws in the printer's printable area, whose corner is the painter's origin.
void KeepClearOfTheEdge(QPrinter& printer) {
    printer.setFullPage(false);
    if (!PrintsToFile(printer)) return;
    if (printer.resolution() != kPdfResolution) printer.setResolution(kPdfResolution);
    const QPageLayout layout = PdfPrinterLayout(printer.pageLayout());
    if (!(layout == printer.pageLayout())) printer.setPageLayout(layout);
}

}  // namespace

PainterCanvas::PainterCanvas(QPrinter& printer) : printer_(&printer) {
    updateDeviceFont();
}

PainterCanvas::PainterCanvas(Shell* viewer) : viewer_(viewer) {
    updateDeviceFont();
}

PainterCanvas::~PainterCanvas() {
    if (page_ != 0) abandon();
}

QPagedPaintDevice* PainterCanvas::device() const {
    if (printer_) return printer_;
    return pdf_.get();
}

void PainterCanvas::setOrientation(output::Orientation orientation) {
    orientation_ = orientation;
}

int PainterCanvas::resolutionX() const {
    return printer_ && !PrintsToFile(*printer_) ? printer_->resolution() : kPdfResolution;
}

int PainterCanvas::resolutionY() const {
    return resolutionX();
}

bool PainterCanvas::pdfLandscape() const {
    // Inside a document the page is what it began as, whatever was set since.
    if (page_ != 0) return pdfLandscape_;
    return orientation_ == output::Orientation::Landscape;
}

data::PaperSize PainterCanvas::pdfPaper() const {
    // Inside a document the page is what it began as, whatever was set since.
    return page_ != 0 ? pdfPaper_ : paper_;
}

QPageLayout PainterCanvas::printerLayout() const {
    QPageLayout layout = printer_->pageLayout();
    if (orientation_ && page_ == 0) layout.setOrientation(ToQt(*orientation_));
    if (PrintsToFile(*printer_)) layout = PdfPrinterLayout(layout);
    return layout;
}

QRect PainterCanvas::printerPage() const {
    return printerLayout().paintRectPixels(resolutionX());
}

int PainterCanvas::pageWidth() const {
    if (printer_) return printerPage().width();
    const Sheet sheet = SheetOf(pdfPaper());
    return (pdfLandscape() ? sheet.height : sheet.width) - 2 * kPdfMargin;
}

int PainterCanvas::pageHeight() const {
    if (printer_) return printerPage().height();
    const Sheet sheet = SheetOf(pdfPaper());
    return (pdfLandscape() ? sheet.width : sheet.height) - 2 * kPdfMargin;
}

output::PaperFrame PainterCanvas::paperFrame() const {
    if (printer_) {
        const QPageLayout layout = printerLayout();
        const QRect paint = layout.paintRectPixels(resolutionX());
        const QRect full = layout.fullRectPixels(resolutionX());
        return {full.left() - paint.left(), full.top() - paint.top(), full.width(), full.height()};
    }
    return {-kPdfMargin, -kPdfMargin, pageWidth() + 2 * kPdfMargin, pageHeight() + 2 * kPdfMargin};
}

bool PainterCanvas::beginDocument(const std::string& name) {
    if (page_ != 0) {
        lastError_ = "A document is already being drawn.";
        return false;
    }
    lastError_.clear();
    if (printer_) {
        if (orientation_) {
            printerOrientation_ = printer_->pageLayout().orientation();
            printer_->setPageOrientation(ToQt(*orientation_));
        }
        printer_->setDocName(ToQString(name));
        printerResolution_ = printer_->resolution();
        KeepClearOfTheEdge(*printer_);
        // A printer that prints to a PDF file writes an e-invoice as a PDF file does.
        if (PrintsToFile(*printer_))
            printer_->setPdfVersion(invoiceXml_.empty() ? QPagedPaintDevice::PdfVersion_1_4
                                                        : QPagedPaintDevice::PdfVersion_A1b);
        // A queue that refuses jobs, or a print system that is not running, takes
        // nothing: that is known before anything is drawn.
        if (const PrintCheck check = DestinationAccepts(*printer_); !check.ok) {
            restorePrinter();
            lastError_ = check.error;
            return false;
        }
        watch_.emplace(*printer_);
        if (!painter_.begin(printer_)) {
            watch_.reset();
            restorePrinter();
            lastError_ = "The printer could not be started.";
            return false;
        }
    } else {
        if (name.empty()) {
            lastError_ = "No PDF file name was given.";
            return false;
        }
        if (!data::MayWriteUserFile(name, &lastError_)) return false;
        fileName_ = name;
        pdfLandscape_ = orientation_ == output::Orientation::Landscape;
        pdfPaper_ = paper_;
        // The file is opened here rather than by the PDF writer, so that one inside the
        // data folder is its owner's alone, also when it was there before.
        const mode_t mode = data::NewFileMode(name);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
        if (fd >= 0 && mode == 0600) ::fchmod(fd, mode);
        pdfFile_ = std::make_unique<QFile>();
        if (fd < 0 || !pdfFile_->open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
            if (fd >= 0) ::close(fd);
            pdfFile_.reset();
            lastError_ = "Cannot write the PDF file " + name + ".";
            return false;
        }
        pdf_ = std::make_unique<QPdfWriter>(pdfFile_.get());
        // The painter's origin is the corner of the printable area inside the margins.
        pdf_->setPageLayout(QPageLayout(
            QPageSize(pdfPaper_ == data::PaperSize::A4 ? QPageSize::A4 : QPageSize::Letter),
            pdfLandscape_ ? QPageLayout::Landscape : QPageLayout::Portrait,
            QMarginsF(kPdfMarginMm, kPdfMarginMm, kPdfMarginMm, kPdfMarginMm),
            QPageLayout::Millimeter));
        pdf_->setResolution(kPdfResolution);
        // An e-invoice is PDF/A: every font embedded, no transparency; the writer's PDF/A-1b
        // is made PDF/A-3b when the file is complete.
        if (!invoiceXml_.empty()) pdf_->setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
        // The document information is written over the title's room when the file is
        // complete.
        pdf_->setTitle(QString(PdfInfoRoom(info_), QLatin1Char(' ')));
        pdf_->setCreator(QStringLiteral("Invarro"));
        if (!painter_.begin(pdf_.get())) {
            pdf_.reset();
            pdfFile_.reset();
            QFile::remove(ToQString(name));
            lastError_ = "Cannot write the PDF file " + name + ".";
            return false;
        }
    }
    page_ = 1;
    updateDeviceFont();
    return true;
}

std::string PainterCanvas::destination() const {
    if (!printer_) return fileName_;
    if (PrintsToFile(*printer_)) return printer_->outputFileName().toStdString();
    return printer_->printerName().toStdString();
}

bool PainterCanvas::newPage() {
    if (page_ == 0) return false;
    if (!device()->newPage()) {
        lastError_ = "A new page could not be started.";
        return false;
    }
    ++page_;
    return true;
}

bool PainterCanvas::endDocument() {
    if (page_ == 0) {
        lastError_ = "No document has been begun.";
        return false;
    }
    page_ = 0;
    const bool drawn = painter_.end();
    images_.clear();
    scaled_.clear();
    if (printer_) {
        restorePrinter();
        updateDeviceFont();
        if (!drawn) {
            watch_.reset();
            lastError_ = "The print job did not complete.";
            return false;
        }
        // Qt hands the job over without saying whether it was taken.
        const PrintCheck taken = watch_ ? watch_->accepted() : PrintCheck{};
        watch_.reset();
        if (!taken.ok) {
            lastError_ = taken.error;
            return false;
        }
        if (PrintsToFile(*printer_) && !invoiceXml_.empty()) {
            std::string error;
            if (!MakeFacturX(printer_->outputFileName().toStdString(), invoiceXml_, info_,
                             &error)) {
                lastError_ = error;
                return false;
            }
        }
        return true;
    }
    pdf_.reset();
    bool closed = pdfFile_->flush();
    pdfFile_->close();
    closed = closed && pdfFile_->error() == QFileDevice::NoError;
    pdfFile_.reset();
    updateDeviceFont();
    if (!drawn || !closed || !QFile::exists(ToQString(fileName_))) {
        lastError_ = "Cannot write the PDF file " + fileName_ + ".";
        return false;
    }
    // Qt's own layout takes the information in place; any other is rewritten whole. An
    // e-invoice is rewritten whole with its XML, metadata and colour profile.
    std::string error;
    if (!invoiceXml_.empty()) {
        if (!MakeFacturX(fileName_, invoiceXml_, info_, &error)) {
            QFile::remove(ToQString(fileName_));
            lastError_ = error;
            return false;
        }
    } else if (!SetPdfInfoInPlace(fileName_, info_) && !SetPdfInfo(fileName_, info_, &error)) {
        lastError_ = error;
        return false;
    }
    if (viewer_ && openWhenDone_ && !viewer_->openFile(fileName_))
        lastError_ =
            "The PDF file " + fileName_ + " was written, but no PDF viewer could be started.";
    return true;
}

void PainterCanvas::restorePrinter() {
    if (printerOrientation_) printer_->setPageOrientation(*printerOrientation_);
    printerOrientation_.reset();
    // A printer chosen later in the dialog prints at its own resolution again.
    if (printerResolution_ && printer_->resolution() != *printerResolution_)
        printer_->setResolution(*printerResolution_);
    printerResolution_.reset();
}

void PainterCanvas::abandon() {
    page_ = 0;
    watch_.reset();
    if (printer_) {
        printer_->abort();
        painter_.end();
        restorePrinter();
    } else {
        painter_.end();
        pdf_.reset();
        pdfFile_.reset();
        QFile::remove(ToQString(fileName_));
    }
}

void PainterCanvas::setFont(const output::Font& font) {
    // Layouts set their fonts again and again; the device font follows only a change.
    if (font == font_) return;
    font_ = font;
    updateDeviceFont();
}

void PainterCanvas::updateDeviceFont() {
    QFont f = ToQFont(font_);
    // The em height in device units, as a printer font of that many points gets it.
    f.setPixelSize(std::max(1, int(std::lround(std::max(1, font_.size) * resolutionY() / 72.0))));
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setKerning(false);
    deviceFont_ = f;
    const QFontMetricsF m(deviceFont_);
    ascent_ = m.ascent();
    textHeight_ = int(std::lround(m.ascent() + m.descent()));
    painterFont_ = false;
    const std::string key =
        font_.face + '\0' + std::to_string(f.pixelSize()) + '\0' + std::to_string(int(font_.style));
    widths_ = &widthCache_[key];
}

void PainterCanvas::textOut(int x, int y, const std::string& text) {
    if (page_ == 0 || text.empty()) return;
    if (brush_.style == output::BrushStyle::Solid)
        painter_.fillRect(QRectF(x, y, textWidth(text), textHeight_), ToQColor(brush_.color));
    if (!painterFont_) {
        painter_.setFont(deviceFont_);
        painterFont_ = true;
    }
    painter_.setPen(QPen(ToQColor(font_.color)));
    painter_.drawText(QPointF(x, y + ascent_), ToQString(text));
}

int PainterCanvas::textWidth(const std::string& text) const {
    auto it = widths_->find(text);
    if (it != widths_->end()) return it->second;
    if (++widthCount_ > kWidthCacheLimit) {
        for (auto& [font, widths] : widthCache_)
            widths.clear();
        widthCount_ = 1;
    }
    const int w = int(std::lround(QFontMetricsF(deviceFont_).horizontalAdvance(ToQString(text))));
    widths_->emplace(text, w);
    return w;
}

int PainterCanvas::textHeight(const std::string&) const {
    return textHeight_;
}

QPen PainterCanvas::qtPen() const {
    QPen p(ToQColor(pen_.color));
    p.setWidth(std::max(1, pen_.width));
    if (pen_.style == output::PenStyle::Dotted) {
        p.setStyle(Qt::DotLine);
        p.setCapStyle(Qt::FlatCap);
    } else {
        p.setCapStyle(Qt::RoundCap);
    }
    p.setJoinStyle(Qt::MiterJoin);
    return p;
}

void PainterCanvas::moveTo(int x, int y) {
    current_ = QPointF(x, y);
}

void PainterCanvas::lineTo(int x, int y) {
    const QPointF to(x, y);
    if (page_ != 0) {
        painter_.setPen(qtPen());
        painter_.setBrush(Qt::NoBrush);
        painter_.drawLine(current_, to);
    }
    current_ = to;
}

void PainterCanvas::rectangle(int x1, int y1, int x2, int y2) {
    if (page_ == 0) return;
    painter_.setPen(qtPen());
    switch (brush_.style) {
        case output::BrushStyle::Clear:
            painter_.setBrush(Qt::NoBrush);
            break;
        case output::BrushStyle::Solid:
            painter_.setBrush(QBrush(ToQColor(brush_.color)));
            break;
        case output::BrushStyle::BackwardDiagonal:
            painter_.setBrush(QBrush(ToQColor(brush_.color), Qt::BDiagPattern));
            break;
    }
    painter_.setBackgroundMode(Qt::TransparentMode);
    painter_.drawRect(QRectF(QPointF(x1, y1), QPointF(x2, y2)).normalized());
}

const QImage* PainterCanvas::loadImage(const std::string& path) {
    auto it = images_.find(path);
    if (it == images_.end()) {
        QImageReader reader(ToQString(path));
        reader.setAutoTransform(true);
        QImage image = reader.read();
        if (image.isNull()) return nullptr;
        // Kept for the document, so a picture drawn on every page is stored once.
        it = images_.emplace(path, std::move(image)).first;
    }
    return &it->second;
}

std::optional<output::ImageSize> PainterCanvas::imageSize(const std::string& path) {
    const QImage* image = loadImage(path);
    if (!image) return std::nullopt;
    return output::ImageSize{image->width(), image->height()};
}

bool PainterCanvas::stretchDraw(int x1, int y1, int x2, int y2, const std::string& path) {
    if (page_ == 0) return false;
    const QImage* image = loadImage(path);
    if (!image) {
        lastError_ = "Cannot read the picture " + path + ".";
        return false;
    }
    const QRect target = QRect(QPoint(x1, y1), QPoint(x2, y2)).normalized().adjusted(0, 0, -1, -1);
    if (target.width() <= 0 || target.height() <= 0) return true;
    const bool compact = quality_ == output::ImageQuality::Compact;
    painter_.setRenderHint(QPainter::LosslessImageRendering, !compact);
    painter_.setRenderHint(QPainter::SmoothPixmapTransform, compact);
    if (compact && isPdf() && target.size() != image->size()) {
        // Resampled once to the drawn size, so the file holds the picture as shown.
        auto key = std::make_tuple(path, target.width(), target.height());
        auto it = scaled_.find(key);
        if (it == scaled_.end())
            it = scaled_
                     .emplace(key, image->scaled(target.size(), Qt::IgnoreAspectRatio,
                                                 Qt::SmoothTransformation))
                     .first;
        painter_.drawImage(target.topLeft(), it->second);
    } else {
        painter_.drawImage(QRectF(target), *image);
    }
    return true;
}

}  // namespace invarro::platform::qt
