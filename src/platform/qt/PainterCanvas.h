// The page canvas on Qt: QPainter drawing on the program's printer or into a PDF file.
//
// A PDF page is US Letter (or A4, when set) in device units of a tenth of a millimetre
// (254 units per inch), portrait unless set to landscape. Like a printer's page it has a
// printable area: 64 units (a quarter inch, rounded up) are kept clear on every side, so
// the canvas is 2031 x 2666 units on Letter and 1972 x 2842 on A4, with its origin at the
// corner of that area. A printer that prints to a PDF file draws in the same units with
// the same margin, on the paper of its dialog.
// The standard faces ("Arial", "Courier New", "Times New Roman", ...) are asked for by
// name; the font system gives their metric twins, and the fonts used are embedded.
#pragma once

#include <QFont>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>

#include "output/Canvas.h"
#include "platform/Shell.h"
#include "platform/qt/PrintSystem.h"

class QFile;
class QPagedPaintDevice;
class QPdfWriter;
class QPrinter;

namespace invarro::platform::qt {

class PainterCanvas : public output::Canvas {
  public:
    // Draws on printer, which outlives the canvas. Device units are the printer's dots;
    // the page is its printable area, the origin that area's corner. A printer that
    // writes a PDF file keeps at least a quarter inch clear on every side. An orientation set on
    // the canvas holds for its documents only; the printer gets its own orientation back
    // afterwards.
    explicit PainterCanvas(QPrinter& printer);
    // Writes PDF files. When viewer is given, each finished file is opened with it.
    explicit PainterCanvas(Shell* viewer);
    // A document still open is abandoned: a print job is cancelled, a PDF file removed.
    ~PainterCanvas() override;
    PainterCanvas(const PainterCanvas&) = delete;
    PainterCanvas& operator=(const PainterCanvas&) = delete;

    bool isPdf() const { return printer_ == nullptr; }
    // Whether finished PDF files are opened with the viewer (on by default).
    void setOpenWhenDone(bool open) { openWhenDone_ = open; }

    void setOrientation(output::Orientation orientation) override;
    void setDocumentInfo(const output::DocumentInfo& info) override { info_ = info; }
    void setImageQuality(output::ImageQuality quality) override { quality_ = quality; }
    void setPaperSize(data::PaperSize paper) override { paper_ = paper; }
    // A PDF file, or a printer that prints to a PDF file, then comes out as PDF/A-3b with
    // the XML embedded (see FacturX.h), for the documents that follow until it is cleared.
    void setEmbeddedInvoice(const std::string& xml) override { invoiceXml_ = xml; }
    int pageWidth() const override;
    int pageHeight() const override;
    int resolutionX() const override;
    int resolutionY() const override;
    output::PaperFrame paperFrame() const override;
    bool beginDocument(const std::string& name) override;
    bool newPage() override;
    // On a printer: false when the print system did not take the job (the queue refused
    // it, or it was cancelled at once). For a PDF: writes the file, sets its document
    // information and opens it with the viewer. A viewer that cannot be started does not make the
    // document fail; it leaves a note in lastError().
    bool endDocument() override;
    // The printer's name, or the file a printer that prints to a file writes; for the
    // program's own PDF files, the file being written.
    std::string destination() const override;
    int pageNumber() const override { return page_; }
    std::string lastError() const override { return lastError_; }
    void textOut(int x, int y, const std::string& text) override;
    int textWidth(const std::string& text) const override;
    int textHeight(const std::string& text) const override;
    void setFont(const output::Font& font) override;
    const output::Font& font() const override { return font_; }
    void setPen(const output::Pen& pen) override { pen_ = pen; }
    const output::Pen& pen() const override { return pen_; }
    void setBrush(const output::Brush& brush) override { brush_ = brush; }
    const output::Brush& brush() const override { return brush_; }
    void moveTo(int x, int y) override;
    void lineTo(int x, int y) override;
    void rectangle(int x1, int y1, int x2, int y2) override;
    std::optional<output::ImageSize> imageSize(const std::string& path) override;
    bool stretchDraw(int x1, int y1, int x2, int y2, const std::string& path) override;

    // The Qt font that text is drawn with, sized in device units.
    const QFont& deviceFont() const { return deviceFont_; }

  private:
    QPagedPaintDevice* device() const;
    bool pdfLandscape() const;
    data::PaperSize pdfPaper() const;
    QPageLayout printerLayout() const;
    QRect printerPage() const;
    void updateDeviceFont();
    QPen qtPen() const;
    const QImage* loadImage(const std::string& path);
    void abandon();
    void restorePrinter();

    QPrinter* printer_ = nullptr;
    Shell* viewer_ = nullptr;
    std::unique_ptr<QFile> pdfFile_;  // the PDF file being written
    std::unique_ptr<QPdfWriter> pdf_;
    QPainter painter_;
    std::string fileName_;
    bool pdfLandscape_ = false;  // the orientation of the PDF being written
    data::PaperSize paper_ = data::PaperSize::Letter;
    data::PaperSize pdfPaper_ = data::PaperSize::Letter;  // the paper of the PDF being written
    bool openWhenDone_ = true;

    std::optional<output::Orientation> orientation_;
    std::optional<QPageLayout::Orientation>
        printerOrientation_;                // the printer's own, while a document runs
    std::optional<int> printerResolution_;  // likewise
    output::DocumentInfo info_;
    std::string invoiceXml_;
    output::ImageQuality quality_ = output::ImageQuality::Lossless;
    output::Font font_;
    QFont deviceFont_;
    double ascent_ = 0;         // of the device font
    int textHeight_ = 0;        // of the device font
    bool painterFont_ = false;  // whether the painter draws in the device font
    // Text widths by device font, kept across documents: a layout measures the same
    // captions, amounts and column widths many times.
    mutable std::unordered_map<std::string, std::unordered_map<std::string, int>> widthCache_;
    mutable std::unordered_map<std::string, int>* widths_ = nullptr;
    mutable size_t widthCount_ = 0;
    output::Pen pen_;
    output::Brush brush_;
    QPointF current_;
    int page_ = 0;
    std::string lastError_;
    std::optional<JobWatch> watch_;  // the print job being drawn

    std::map<std::string, QImage> images_;
    std::map<std::tuple<std::string, int, int>, QImage> scaled_;
};

}  // namespace invarro::platform::qt
