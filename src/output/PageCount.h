// Counting the pages of a document before it is drawn, so that every page can say "of M".
// A layout runs once on a PageCounter, which measures text on the real canvas and keeps
// its page, but draws nothing and starts no document there; the layout then runs again on
// the real canvas with the count it found.
#pragma once

#include <functional>
#include <string>

#include "output/Canvas.h"

namespace invarro::output {

class PageCounter : public Canvas {
  public:
    // Measures on canvas, which must not be inside a document.
    explicit PageCounter(Canvas& canvas) : c_(canvas) {}

    // The pages of the documents run so far (of the last one, when several were run).
    int pages() const { return pages_; }

    void setOrientation(Orientation orientation) override { c_.setOrientation(orientation); }
    void setPaperSize(data::PaperSize paper) override { c_.setPaperSize(paper); }
    void setDocumentInfo(const DocumentInfo&) override {}
    void setImageQuality(ImageQuality) override {}
    int pageWidth() const override { return c_.pageWidth(); }
    int pageHeight() const override { return c_.pageHeight(); }
    int resolutionX() const override { return c_.resolutionX(); }
    int resolutionY() const override { return c_.resolutionY(); }
    bool beginDocument(const std::string&) override {
        page_ = 1;
        pages_ = 1;
        return true;
    }
    bool newPage() override {
        if (page_ == 0) return false;
        pages_ = ++page_;
        return true;
    }
    bool endDocument() override {
        const bool open = page_ != 0;
        page_ = 0;
        return open;
    }
    std::string destination() const override { return c_.destination(); }
    int pageNumber() const override { return page_; }
    std::string lastError() const override { return {}; }
    void textOut(int, int, const std::string&) override {}
    int textWidth(const std::string& text) const override { return c_.textWidth(text); }
    int textHeight(const std::string& text) const override { return c_.textHeight(text); }
    void setFont(const Font& font) override {
        if (!(font == c_.font())) c_.setFont(font);
    }
    const Font& font() const override { return c_.font(); }
    void setPen(const Pen& pen) override { pen_ = pen; }
    const Pen& pen() const override { return pen_; }
    void setBrush(const Brush& brush) override { brush_ = brush; }
    const Brush& brush() const override { return brush_; }
    void moveTo(int, int) override {}
    void lineTo(int, int) override {}
    void rectangle(int, int, int, int) override {}
    std::optional<ImageSize> imageSize(const std::string& path) override {
        return c_.imageSize(path);
    }
    bool stretchDraw(int, int, int, int, const std::string& path) override {
        return c_.imageSize(path).has_value();
    }

  private:
    Canvas& c_;
    Pen pen_;
    Brush brush_;
    int page_ = 0;
    int pages_ = 0;
};

// The pages that draw gives a document on canvas, found without drawing on it.
inline int CountPages(Canvas& canvas, const std::function<void(Canvas&)>& draw) {
    PageCounter counter(canvas);
    draw(counter);
    return counter.pages();
}

}  // namespace invarro::output
