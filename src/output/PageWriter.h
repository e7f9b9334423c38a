// Writing a document page on the canvas: the company's form fonts, text right-aligned or
// centred, text wrapped or cut to a width, rules and boxes across the page, the sales
// message and the four aging amounts of a footer. The invoice and statement layouts draw
// through it, and so does every other one-record page that wraps text.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "data/Records.h"
#include "output/Canvas.h"

namespace invarro::output {

// Text broken into lines no wider than width in the canvas's current font: at each line
// break of its own (CR LF, LF or CR), and at blanks where a line is full. A word wider than
// the width is broken inside at the width, so no line is wider than the width unless a
// single character already is (it keeps a line of its own). A break the text holds twice
// gives an empty line between; empty text and trailing breaks give no line.
std::vector<std::string> WrapText(const Canvas& canvas, std::string_view text, int width);

// Text cut at its end, a character at a time, until it fits the width.
std::string FitText(const Canvas& canvas, std::string text, int width);

// The form's six fonts: body text, caption, company address, customer address, aging
// and sales message; a blank face is Arial and a size below 1 is 10 points.
enum class FormFont { Body, Caption, CompanyAddress, CustomerAddress, Aging, SalesMessage };
Font FormFontOf(const data::CompanyRecord& company, FormFont which);

// One document being drawn: the canvas, the company whose form settings it follows, and
// the page's width.
class PageWriter {
  public:
    PageWriter(Canvas& canvas, const data::CompanyRecord& company);

    Canvas& canvas() const { return c_; }
    int pageWidth() const { return W_; }

    void useFont(FormFont font) { c_.setFont(FormFontOf(co_, font)); }
    int lineHeight() const { return LineHeight(c_); }
    int width(const std::string& text) const { return c_.textWidth(text); }

    // Text ending at right.
    void rightAligned(int right, int y, const std::string& text) {
        c_.textOut(right - width(text), y, text);
    }
    // Text centred in the span of the given width starting at left.
    void centred(int left, int span, int y, const std::string& text) {
        c_.textOut((span - width(text)) / 2 + left, y, text);
    }
    // A line across the page, inset from both edges.
    void rule(int inset, int y) {
        c_.moveTo(inset, y);
        c_.lineTo(W_ - inset, y);
    }
    // A rectangle outlined in colour; the pen is black again afterwards.
    void box(int left, int top, int right, int bottom, Color colour, int lineWidth);
    // A rectangle filled with the backward-diagonal hatch; the brush is clear afterwards.
    void hatchedBox(int left, int top, int right, int bottom);

    // The sales message: at most four lines from top, each centred on the page's middle.
    void salesMessage(int top, int lineHeight, const std::vector<std::string>& lines);
    // The four aging amounts of a footer in quarters of the page from left, each the
    // period's caption and its amount (texts[b] as AgingFooterText gives it).
    void agingQuarters(int left, int y, const std::array<std::string, 4>& texts);

  private:
    Canvas& c_;
    const data::CompanyRecord& co_;
    int W_ = 0;
};

// One period of an aging footer: the caption, a blank and the amount; the oldest period's
// caption ("Over 90: ") holds its own blank.
std::string AgingFooterText(const std::array<std::string, 4>& captions, int period,
                            const std::string& amount);

}  // namespace invarro::output
