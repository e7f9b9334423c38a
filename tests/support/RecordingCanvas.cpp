#include "support/RecordingCanvas.h"

#include <algorithm>
#include <fstream>

#include "data/Ansi.h"

namespace invarro::testing {

using output::Orientation;
using Kind = CanvasOp::Kind;

RecordingCanvas::RecordingCanvas(int width, int height, int resolution, TextMetric metric)
    : width_(width), height_(height), resolution_(resolution), metric_(metric) {}

void RecordingCanvas::addImage(const std::string& path, int width, int height) {
    images_[path] = output::ImageSize{width, height};
}

OpList RecordingCanvas::ops(CanvasOp::Kind kind) const {
    std::vector<const CanvasOp*> out;
    for (const CanvasOp& op : ops_)
        if (op.kind == kind) out.push_back(&op);
    return OpList(std::move(out));
}

std::vector<std::string> RecordingCanvas::textStrings(int page) const {
    std::vector<std::string> out;
    for (const auto& op : ops_)
        if (op.kind == Kind::Text && (page == 0 || op.page == page)) out.push_back(op.text);
    return out;
}

const CanvasOp* RecordingCanvas::findText(const std::string& text) const {
    for (const auto& op : ops_)
        if (op.kind == Kind::Text && op.text == text) return &op;
    return nullptr;
}

const CanvasOp* RecordingCanvas::findTextContaining(const std::string& part) const {
    for (const auto& op : ops_)
        if (op.kind == Kind::Text && op.text.find(part) != std::string::npos) return &op;
    return nullptr;
}

void RecordingCanvas::clear() {
    ops_.clear();
    faults_.clear();
    pagesBegun_ = 0;
    documentsEnded_ = 0;
}

CanvasOp& RecordingCanvas::record(CanvasOp::Kind kind) {
    CanvasOp op;
    op.kind = kind;
    op.page = page_;
    op.font = font_;
    op.pen = pen_;
    op.brush = brush_;
    op.orientation = orientation_;
    op.info = info_;
    op.quality = quality_;
    ops_.push_back(std::move(op));
    return ops_.back();
}

void RecordingCanvas::requireDocument(const char* what) {
    if (page_ == 0) faults_.push_back(std::string(what) + " outside a document");
}

void RecordingCanvas::setOrientation(Orientation orientation) {
    if (page_ != 0) faults_.push_back("orientation changed inside a document");
    orientation_ = orientation;
    record(Kind::Orientation);
}

void RecordingCanvas::setDocumentInfo(const output::DocumentInfo& info) {
    info_ = info;
    record(Kind::Info);
}

void RecordingCanvas::setImageQuality(output::ImageQuality quality) {
    quality_ = quality;
    record(Kind::ImageQuality);
}

int RecordingCanvas::pageWidth() const {
    return orientation_ == Orientation::Portrait ? width_ : height_;
}

int RecordingCanvas::pageHeight() const {
    return orientation_ == Orientation::Portrait ? height_ : width_;
}

bool RecordingCanvas::beginDocument(const std::string& name) {
    if (!failBegin_.empty()) {
        lastError_ = failBegin_;
        return false;
    }
    if (page_ != 0) faults_.push_back("document begun twice");
    page_ = 1;
    ++pagesBegun_;
    lastError_.clear();
    record(Kind::Begin).text = name;
    document_ = name;
    return true;
}

bool RecordingCanvas::newPage() {
    if (page_ == 0) {
        faults_.push_back("new page outside a document");
        return false;
    }
    ++page_;
    ++pagesBegun_;
    record(Kind::NewPage);
    return true;
}

bool RecordingCanvas::endDocument() {
    if (page_ == 0) {
        faults_.push_back("document ended without being begun");
        return false;
    }
    record(Kind::End);
    page_ = 0;
    ++documentsEnded_;
    if (writeFiles_) {
        std::string body;
        for (const CanvasOp& op : ops_)
            if (op.kind == Kind::Text) body += op.text + "\n";
        std::ofstream out(document_, std::ios::binary | std::ios::trunc);
        out << body;
        if (!out) {
            lastError_ = "Cannot write the PDF file " + document_ + ".";
            return false;
        }
    }
    return true;
}

void RecordingCanvas::textOut(int x, int y, const std::string& text) {
    requireDocument("text");
    CanvasOp& op = record(Kind::Text);
    op.x = x;
    op.y = y;
    op.x2 = x + textWidth(text);
    op.y2 = y + textHeight(text);
    op.text = text;
}

int RecordingCanvas::textWidth(const std::string& text) const {
    return int(data::CharCount(text)) * font_.size * metric_.charWidth;
}

int RecordingCanvas::textHeight(const std::string&) const {
    return font_.size * metric_.cellHeight;
}

void RecordingCanvas::setFont(const output::Font& font) {
    font_ = font;
    record(Kind::Font);
}

void RecordingCanvas::setPen(const output::Pen& pen) {
    pen_ = pen;
    record(Kind::Pen);
}

void RecordingCanvas::setBrush(const output::Brush& brush) {
    brush_ = brush;
    record(Kind::Brush);
}

void RecordingCanvas::moveTo(int x, int y) {
    curX_ = x;
    curY_ = y;
    CanvasOp& op = record(Kind::MoveTo);
    op.x = x;
    op.y = y;
}

void RecordingCanvas::lineTo(int x, int y) {
    requireDocument("line");
    CanvasOp& op = record(Kind::Line);
    op.x = curX_;
    op.y = curY_;
    op.x2 = x;
    op.y2 = y;
    curX_ = x;
    curY_ = y;
}

void RecordingCanvas::rectangle(int x1, int y1, int x2, int y2) {
    requireDocument("rectangle");
    CanvasOp& op = record(Kind::Rectangle);
    op.x = x1;
    op.y = y1;
    op.x2 = x2;
    op.y2 = y2;
}

std::optional<output::ImageSize> RecordingCanvas::imageSize(const std::string& path) {
    auto it = images_.find(path);
    if (it == images_.end()) return std::nullopt;
    return it->second;
}

bool RecordingCanvas::stretchDraw(int x1, int y1, int x2, int y2, const std::string& path) {
    requireDocument("picture");
    if (!images_.count(path)) return false;
    CanvasOp& op = record(Kind::Image);
    op.x = x1;
    op.y = y1;
    op.x2 = x2;
    op.y2 = y2;
    op.text = path;
    return true;
}

}  // namespace invarro::testing
