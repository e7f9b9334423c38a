// The page canvas. Invoices, statements, reports, labels and the customer card are laid
// out by one code path that draws on a Canvas; behind it is either the printer or a PDF
// file. Coordinates and sizes are device units of the canvas with (0, 0) at the top left
// of the page's printable area, never the paper's edge: a layout that starts at 0 starts
// where the printer can print. Text is placed by the top left corner of its cell.
#pragma once

#include <optional>
#include <string>

#include "data/Paper.h"
#include "output/Font.h"

namespace invarro::output {

enum class PenStyle { Solid, Dotted };

struct Pen {
    int width = 1;  // device units; below 1 counts as 1
    Color color = kBlack;
    PenStyle style = PenStyle::Solid;
    friend bool operator==(const Pen&, const Pen&) = default;
};

// Clear leaves the inside of rectangles and the background of text untouched. Solid fills
// rectangles and puts text on a box of the brush colour. BackwardDiagonal fills
// rectangles with "/" hatch lines in the brush colour and leaves the gaps and the text
// background untouched.
enum class BrushStyle { Clear, Solid, BackwardDiagonal };

struct Brush {
    BrushStyle style = BrushStyle::Clear;
    Color color = kWhite;
    friend bool operator==(const Brush&, const Brush&) = default;
};

enum class Orientation { Portrait, Landscape };

// How pictures are kept in a PDF: Lossless keeps every pixel (invoices, statements);
// Compact resamples the picture smoothly to its drawn size and stores it as JPEG
// (reports). A printer draws both the same way.
enum class ImageQuality { Lossless, Compact };

// The document information of a PDF file. A printer ignores it.
struct DocumentInfo {
    std::string title;
    std::string author;
    std::string subject;
    std::string producer;
};

struct ImageSize {
    int width = 0;
    int height = 0;
};

// The whole sheet of paper in the canvas's coordinates: its top left corner (zero or
// negative, where the printable area starts inside the sheet) and its size.
struct PaperFrame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

class Canvas {
  public:
    virtual ~Canvas() = default;

    // Settings for the next document; set them before beginDocument.
    virtual void setOrientation(Orientation orientation) = 0;
    virtual void setDocumentInfo(const DocumentInfo& info) = 0;
    virtual void setImageQuality(ImageQuality quality) = 0;
    // The paper of the next PDF file (Letter until set). A printer prints on the paper its
    // print dialog chose and ignores it.
    virtual void setPaperSize(data::PaperSize paper) { (void)paper; }
    // The electronic invoice the next PDF carries (Factur-X: PDF/A-3 with the XML
    // embedded); empty for none. Printers and other canvases ignore it.
    virtual void setEmbeddedInvoice(const std::string& xml) { (void)xml; }

    // The printable area of the page in device units and the resolution in device units per inch.
    // They follow the orientation and are valid before the document begins.
    virtual int pageWidth() const = 0;
    virtual int pageHeight() const = 0;
    virtual int resolutionX() const = 0;
    virtual int resolutionY() const = 0;
    // The sheet the printable area lies on, for what a standard places by the paper's
    // edge (a payment slip at the foot of the sheet). A canvas that cannot tell gives its
    // printable area.
    virtual PaperFrame paperFrame() const { return {0, 0, pageWidth(), pageHeight()}; }

    // Starts a document on page 1. name is the print job's title on a printer and the
    // file to write on a PDF canvas. False (see lastError) when it cannot start; drawing
    // outside a document does nothing.
    virtual bool beginDocument(const std::string& name) = 0;
    virtual bool newPage() = 0;
    // Finishes the document; a PDF canvas writes and completes the file here. False
    // when the document did not come out whole.
    virtual bool endDocument() = 0;
    // Where the documents go, as the user knows it: the printer's name, or the file a
    // printer that prints to a file writes; empty when the canvas cannot tell.
    virtual std::string destination() const { return {}; }
    // 1 on the first page of the document, 0 outside a document.
    virtual int pageNumber() const = 0;
    virtual std::string lastError() const = 0;

    // Text in UTF-8, in the current font.
    virtual void textOut(int x, int y, const std::string& text) = 0;
    virtual int textWidth(const std::string& text) const = 0;
    // The height of a text cell in the current font (ascent plus descent); the same for
    // every string. Layouts use textHeight("MXjpy") as their line height.
    virtual int textHeight(const std::string& text) const = 0;

    virtual void setFont(const Font& font) = 0;
    virtual const Font& font() const = 0;
    virtual void setPen(const Pen& pen) = 0;
    virtual const Pen& pen() const = 0;
    virtual void setBrush(const Brush& brush) = 0;
    virtual const Brush& brush() const = 0;

    // Lines from the current position, which lineTo moves to its end.
    virtual void moveTo(int x, int y) = 0;
    virtual void lineTo(int x, int y) = 0;
    // A rectangle between two corners: outlined with the pen, filled with the brush.
    virtual void rectangle(int x1, int y1, int x2, int y2) = 0;

    // The pixel size of a picture file (BMP, JPEG and the other formats the canvas
    // reads), or nothing when it cannot be read.
    virtual std::optional<ImageSize> imageSize(const std::string& path) = 0;
    // Draws the picture stretched into the rectangle; false when it cannot be read.
    virtual bool stretchDraw(int x1, int y1, int x2, int y2, const std::string& path) = 0;
};

// The line height every layout uses.
inline int LineHeight(const Canvas& canvas) {
    return canvas.textHeight("MXjpy");
}

}  // namespace invarro::output
