// A Canvas for layout tests: records every operation with its page, coordinates, font,
// pen, brush and text, and measures text with a fixed metric, so that a test can assert
// where a layout put things. Misuse that a real device would punish (drawing outside a
// document, a second begin, an end without begin) is recorded in faults().
#pragma once

#include <compare>
#include <cstddef>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "output/Canvas.h"

namespace invarro::testing {

struct CanvasOp {
    enum class Kind {
        Orientation,
        Info,
        ImageQuality,
        Begin,
        NewPage,
        End,
        Font,
        Pen,
        Brush,
        MoveTo,
        Line,
        Rectangle,
        Image,
        Text,
    };
    Kind kind = Kind::Text;
    int page = 0;  // the page number when the operation happened (0 outside a document)
    // Text and MoveTo: (x, y). Line: from (x, y) to (x2, y2). Rectangle and Image: the
    // corners (x, y) and (x2, y2).
    int x = 0, y = 0, x2 = 0, y2 = 0;
    // Text: the text. Begin: the name. Image: the path.
    std::string text;
    // The state in force when the operation happened.
    output::Font font;
    output::Pen pen;
    output::Brush brush;
    output::Orientation orientation = output::Orientation::Portrait;
    output::DocumentInfo info;
    output::ImageQuality quality = output::ImageQuality::Lossless;
};

// The fixed text metric of the recording canvas: a character is charWidth device units
// per point of font size wide, and a text cell is cellHeight device units per point high.
struct TextMetric {
    int charWidth = 2;
    int cellHeight = 4;
};

// The operations of one kind, in drawing order: references into the canvas's own record, so
// that a pointer or reference taken from the list stays valid as long as the canvas does
// (not only as long as the list).
class OpList {
  public:
    class iterator {
      public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = CanvasOp;
        using difference_type = std::ptrdiff_t;
        using pointer = const CanvasOp*;
        using reference = const CanvasOp&;
        iterator() = default;
        explicit iterator(std::vector<const CanvasOp*>::const_iterator at) : at_(at) {}
        reference operator*() const { return **at_; }
        pointer operator->() const { return *at_; }
        reference operator[](difference_type n) const { return *at_[n]; }
        iterator& operator++() { return ++at_, *this; }
        iterator operator++(int) { return iterator(at_++); }
        iterator& operator--() { return --at_, *this; }
        iterator operator--(int) { return iterator(at_--); }
        iterator& operator+=(difference_type n) { return at_ += n, *this; }
        iterator& operator-=(difference_type n) { return at_ -= n, *this; }
        friend iterator operator+(iterator i, difference_type n) { return i += n; }
        friend iterator operator+(difference_type n, iterator i) { return i += n; }
        friend iterator operator-(iterator i, difference_type n) { return i -= n; }
        friend difference_type operator-(iterator a, iterator b) { return a.at_ - b.at_; }
        friend auto operator<=>(const iterator&, const iterator&) = default;

      private:
        std::vector<const CanvasOp*>::const_iterator at_;
    };
    using const_iterator = iterator;
    using value_type = CanvasOp;
    using size_type = std::size_t;

    explicit OpList(std::vector<const CanvasOp*> ops) : ops_(std::move(ops)) {}
    iterator begin() const { return iterator(ops_.begin()); }
    iterator end() const { return iterator(ops_.end()); }
    std::size_t size() const { return ops_.size(); }
    bool empty() const { return ops_.empty(); }
    const CanvasOp& operator[](std::size_t i) const { return *ops_[i]; }
    const CanvasOp& at(std::size_t i) const { return *ops_.at(i); }
    const CanvasOp& front() const { return *ops_.front(); }
    const CanvasOp& back() const { return *ops_.back(); }
    // A copy, for a test that reorders or changes the operations.
    operator std::vector<CanvasOp>() const { return {begin(), end()}; }

  private:
    std::vector<const CanvasOp*> ops_;
};

class RecordingCanvas : public output::Canvas {
  public:
    // A portrait page in device units (Letter in tenths of a millimetre by default).
    RecordingCanvas(int width = 2159, int height = 2794, int resolution = 254,
                    TextMetric metric = TextMetric{});

    // Pictures the canvas "reads": imageSize and stretchDraw know only these paths.
    void addImage(const std::string& path, int width, int height);
    // Makes beginDocument fail with this message (empty: succeed again).
    void failBegin(std::string message) { failBegin_ = std::move(message); }
    // Makes endDocument leave a file under the document's name, as a PDF canvas does (the
    // file holds the document's texts, one per line).
    void writeFiles(bool on) { writeFiles_ = on; }

    const std::vector<CanvasOp>& ops() const { return ops_; }
    OpList ops(CanvasOp::Kind kind) const;
    OpList texts() const { return ops(CanvasOp::Kind::Text); }
    // The text strings in drawing order, optionally of one page only.
    std::vector<std::string> textStrings(int page = 0) const;
    // The first text operation whose text equals text, or nullptr.
    const CanvasOp* findText(const std::string& text) const;
    // The first text operation whose text contains part, or nullptr.
    const CanvasOp* findTextContaining(const std::string& part) const;
    int pagesBegun() const { return pagesBegun_; }
    int documentsEnded() const { return documentsEnded_; }
    const std::vector<std::string>& faults() const { return faults_; }
    void clear();

    void setOrientation(output::Orientation orientation) override;
    void setDocumentInfo(const output::DocumentInfo& info) override;
    void setImageQuality(output::ImageQuality quality) override;
    int pageWidth() const override;
    int pageHeight() const override;
    int resolutionX() const override { return resolution_; }
    int resolutionY() const override { return resolution_; }
    bool beginDocument(const std::string& name) override;
    bool newPage() override;
    bool endDocument() override;
    int pageNumber() const override { return page_; }
    std::string lastError() const override { return lastError_; }
    void textOut(int x, int y, const std::string& text) override;
    int textWidth(const std::string& text) const override;
    int textHeight(const std::string& text) const override;
    void setFont(const output::Font& font) override;
    const output::Font& font() const override { return font_; }
    void setPen(const output::Pen& pen) override;
    const output::Pen& pen() const override { return pen_; }
    void setBrush(const output::Brush& brush) override;
    const output::Brush& brush() const override { return brush_; }
    void moveTo(int x, int y) override;
    void lineTo(int x, int y) override;
    void rectangle(int x1, int y1, int x2, int y2) override;
    std::optional<output::ImageSize> imageSize(const std::string& path) override;
    bool stretchDraw(int x1, int y1, int x2, int y2, const std::string& path) override;

  private:
    CanvasOp& record(CanvasOp::Kind kind);
    void requireDocument(const char* what);

    int width_, height_, resolution_;
    TextMetric metric_;
    std::map<std::string, output::ImageSize> images_;
    std::string failBegin_;
    bool writeFiles_ = false;
    std::string document_;
    std::vector<CanvasOp> ops_;
    std::vector<std::string> faults_;
    output::Orientation orientation_ = output::Orientation::Portrait;
    output::DocumentInfo info_;
    output::ImageQuality quality_ = output::ImageQuality::Lossless;
    output::Font font_;
    output::Pen pen_;
    output::Brush brush_;
    int curX_ = 0, curY_ = 0;
    int page_ = 0;
    int pagesBegun_ = 0;
    int documentsEnded_ = 0;
    std::string lastError_;
};

}  // namespace invarro::testing
