#include "output/InvPrint.h"

#include "output/EInvoice.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "data/Ansi.h"
#include "data/DataFolder.h"
#include "data/EInvoiceData.h"
#include "data/Files.h"
#include "data/OwnFiles.h"
#include "data/PaymentReference.h"
#include "data/SideFiles.h"
#include "output/PageCount.h"
#include "output/PaymentCode.h"
#include "output/SwissBill.h"

namespace invarro::output {

namespace {

using data::Company;
using data::TrimmedText;

// The quantity total: ",.00", no zero before the decimal point.
std::string QuantityTotalText(data::Decimal total) {
    std::string s = total.text(2, true);
    if (s.rfind("0.", 0) == 0) s.erase(0, 1);
    if (s.rfind("-0.", 0) == 0) s.erase(1, 1);
    return s;
}

std::string Xs(int n, char last = 'X') {
    std::string s(size_t(n), 'X');
    if (n > 0) s.back() = last;
    return s;
}

constexpr std::string_view kHidden = "xxxxxxxxxx";

// One page layout run: the steps of the page in order, with the position y moving down.
class InvoiceLayout : private PageWriter {
  public:
    InvoiceLayout(Canvas& canvas, const InvoiceDocument& doc, DocumentKind kind,
                  const FormContext& form)
        : PageWriter(canvas, form.company),
          c_(canvas),
          d_(doc),
          kind_(kind),
          co_(form.company),
          t_(ReadFormTexts(form.company)),
          payment_(DocumentPaymentBlock(doc, kind, form, canvas)) {
        W_ = c_.pageWidth();
        H_ = c_.pageHeight();
        HW_ = W_ / 2;
        LM_ = SettingNumber(co_.text(Company::FormLeftMargin));
        TM_ = SettingNumber(co_.text(Company::FormTopMargin));
        AI_ = SettingNumber(co_.text(Company::AddrShiftRight));
        boxTop_ = SettingNumber(co_.text(Company::BoxTop));
        lineWidth_ = std::max(1, SettingNumber(co_.text(Company::LineWidth)));
        // A spacing of 0 would never leave the hatch loop.
        hatch_ = SettingNumber(co_.text(Company::FormLineSpacing));
        if (hatch_ <= 0) hatch_ = 8;
        dotted_ = TrimmedText(co_.text(Company::LineStyle)) == "D";
        shade_ = Color::fromValue(
            uint32_t(data::ReadColourFile(data::JoinPath(form.folder, data::kShadeColourFile))));
        boxColour_ = Color::fromValue(
            uint32_t(data::ReadColourFile(data::JoinPath(form.folder, data::kBoxColourFile))));
        const int screen = form.screenResolution > 0 ? form.screenResolution : 96;
        sx_ = std::max(1, c_.resolutionX() / screen);
        sy_ = std::max(1, c_.resolutionY() / screen);
        if (co_.byte(Company::PrintLogo))
            logo_ = PicturePath(form.folder, co_.text(Company::LogoFile));
        // A page box or shading runs 2 units in from the edges: text at a smaller margin
        // would stand on its line, so it keeps a sixteenth of an inch inside.
        if (co_.byte(Company::BoxInvoices) || co_.byte(Company::UseShading))
            LM_ = std::max(LM_, 2 + lineWidth_ + c_.resolutionX() / 16);
        productCodes_ = co_.byte(Company::PrintProdCodes) != 0;
        vRules_ = co_.byte(Company::FormVerticalLines) != 0;
        hRules_ = co_.byte(Company::FormHorizontalLines) != 0;
    }

    // The document's pages, when counted beforehand; 0 when not known.
    void setPageCount(int pages) { pageCount_ = pages; }

    bool run(const std::string& name) {
        c_.setDocumentInfo(info_);
        c_.setOrientation(Orientation::Portrait);
        if (!c_.beginDocument(name)) return false;
        c_.setPen(Pen{lineWidth_, kBlack, PenStyle::Solid});
        c_.setBrush(Brush{BrushStyle::Clear, kWhite});
        pageTop(true);
        if (d_.isMemo())
            memoRows();
        else
            lineRows();
        endOfTable();
        totals();
        paymentBlock();
        salesMessage();
        agingFooter();
        if (swissBill_) {
            // At the foot of a sheet of its own, whatever the printable area.
            c_.newPage();
            const PaperFrame paper = c_.paperFrame();
            DrawSwissBill(
                c_, paper.left,
                paper.top + paper.height - (swiss::kHeight * c_.resolutionY() + 127) / 254,
                *swissBill_);
        }
        return c_.endDocument();
    }

    void setSwissBill(std::optional<SwissBill> bill) { swissBill_ = std::move(bill); }

    void setInfo(const DocumentInfo& info) { info_ = info; }

  private:
    // "1043 - page number 2 of 3": the number, the page and, when known, the count.
    std::string pageLine() const {
        std::string line = d_.number + " - page number " + std::to_string(c_.pageNumber());
        if (pageCount_ > 0) line += " of " + std::to_string(pageCount_);
        return line;
    }

    bool packingSlip() const { return kind_ == DocumentKind::PackingSlip; }
    bool quote() const { return kind_ == DocumentKind::Quote; }

    // The box, the rules and the shading stand 2 units in from the paper's edges.
    static constexpr int kInset = 2;
    void centredRight(int y, const std::string& s) { centred(HW_, HW_, y, s); }
    void rule(int y) { PageWriter::rule(kInset, y); }

    // A shaded box from top to bottom across the page, hatched with lines every spacing
    // units in the shading colour.
    void shadedBox(int top, int bottom) {
        c_.setPen(Pen{lineWidth_, shade_, PenStyle::Solid});
        c_.rectangle(kInset, top, W_ - kInset, bottom);
        c_.setPen(Pen{1, shade_, dotted_ ? PenStyle::Dotted : PenStyle::Solid});
        for (int o = top + hatch_; o < bottom - 2; o += hatch_)
            rule(o);
        c_.setPen(Pen{lineWidth_, kBlack, PenStyle::Solid});
        c_.setBrush(Brush{BrushStyle::Clear, kWhite});
    }

    // Steps 2 to 14 of a page: box, logo, caption, company and customer blocks, info rows
    // and the table's position.
    void pageTop(bool firstPage) {
        if (co_.byte(Company::BoxInvoices)) {
            box(kInset, boxTop_, W_ - kInset, H_ - kInset, boxColour_, lineWidth_);
        } else {
            c_.textOut(0, 0, " ");
        }
        useFont(FormFont::Body);
        const int lhB = lineHeight();
        useFont(FormFont::Caption);
        int y = TM_ + 2 * lhB;
        int LW = 0, logoBottom = 0;
        if (co_.byte(Company::LetterheadStyle)) {
            if (d_.transType == 'R') c_.textOut(HW_ + 150, y + 2 * lhB, "REPEAT MASTER SETUP");
            y += 9 * lhB;
        } else {
            if (!logo_.empty()) {
                if (auto size = c_.imageSize(logo_)) {
                    const int w = size->width * sx_ / 2, h = size->height * sy_ / 2;
                    if (c_.stretchDraw(LM_, y, LM_ + w, y + h, logo_)) {
                        LW = w + 25;
                        logoBottom = y + h + 25;
                    }
                }
            }
            const int lhC = lineHeight();
            const int captionY = y + 2 * lhB;
            centredRight(captionY, DocumentCaption(d_, kind_, t_));
            int markY = captionY + lhC;
            if (firstPage && TrimmedText(co_.text(Company::NoBigInvNo)) != "Y") {
                const int numberY = std::max(y + 5 * lhB, captionY + lhC);
                centredRight(numberY, d_.number);
                markY = numberY + lhC;
            }
            useFont(FormFont::CompanyAddress);
            const int lh = lineHeight();
            // The duplicate mark and the page line go under the caption and never over
            // the large number. A document of several pages names itself on each of them,
            // so that a loose page can be put back with its invoice.
            int lineY = std::max(y + 4 * lh, markY);
            if (firstPage && ShowsDuplicate(d_, kind_, co_)) {
                centredRight(lineY, "** Duplicate Invoice **");
                lineY += lh;
            }
            if (!firstPage || pageCount_ > 1) centredRight(lineY, pageLine());
            // Room for the page line is kept whether it is drawn or not, so that counting
            // the pages and drawing them lay the page out alike.
            markY = lineY;
            if (TrimmedText(co_.text(Company::NoCoNameOnForm)) != "Y") {
                const int x = LM_ + LW + AI_;
                c_.textOut(x, y, co_.text(Company::Name));
                c_.textOut(x, y + lh, co_.text(Company::CoAddr1));
                c_.textOut(x, y + 2 * lh, co_.text(Company::CoAddr2));
                c_.textOut(x, y + 3 * lh, co_.text(Company::CoAddr3));
                c_.textOut(x, y + 4 * lh, co_.text(Company::CoAddr4));
                c_.textOut(x, y + 5 * lh, co_.text(Company::CoAddr5));
            }
            y += 9 * lh;
            y = std::max(y, markY + lh);
        }

        // The addresses start below the logo.
        useFont(FormFont::CustomerAddress);
        int lh = lineHeight();
        y = std::max(y, logoBottom);
        for (int i = 0; i < 5; ++i)
            c_.textOut(LM_ + AI_, y + i * lh, d_.billTo[size_t(i)]);
        if (data::CharCount(TrimmedText(d_.shipTo[0])) >= 2) {
            c_.textOut(HW_ + AI_, y, t_.shipCaption);
            for (int i = 0; i < 4; ++i)
                c_.textOut(HW_ + AI_, y + (i + 1) * lh, d_.shipTo[size_t(i)]);
        }
        y = y + 4 * lh + 3 * lh;

        useFont(FormFont::Body);
        lh_ = lineHeight();
        m_ = lh_ / 2;
        const int y0 = y;
        if (co_.byte(Company::UseShading)) shadedBox(y0 - m_, y0 + 3 * lh_ + m_);
        if (hRules_) {
            rule(y0 - m_);
            rule(y0 + 3 * lh_ + m_);
            rule(y0 + 5 * lh_ + m_);
        }
        ruleTop_ = y0 + 3 * lh_ + m_;
        auto cut = [](const std::string& s) { return data::FirstChars(s, 30); };
        c_.textOut(LM_, y0, cut("Date: " + d_.date));
        const std::string number = cut("Number: " + d_.number);
        c_.textOut(HW_ - width(number) / 2 - width("XXXX"), y0, number);
        c_.textOut((W_ / 3) * 2, y0, cut("Account Number: " + d_.account));
        c_.textOut(LM_, y0 + lh_, "Payment Terms: " + d_.terms);
        c_.textOut(LM_, y0 + 2 * lh_, "Reference: " + d_.reference);
        headingRow_ = y0 + 4 * lh_;
        y_ = y0 + 6 * lh_;

        // The table, centred on the page by a measuring string.
        g_ = width("Xx");
        const std::string measure =
            d_.isMemo() ? std::string(80, 'X') : (productCodes_ ? Xs(84, 'x') : Xs(73, 'x'));
        TL_ = std::max(1, (W_ - width(measure)) / 2);
        const int w10 = width("XXXXXXXXXX");
        int descWidth = width(std::string(31, 'X'));
        if (!d_.isMemo()) {
            // On a narrower sheet (A4 is 6 mm narrower than Letter) the description gives
            // way, so that the table keeps as far from the edges as the text beside it.
            const int clear = std::max(LM_, c_.resolutionX() / 16);
            // The columns besides the description, up to the last column's rule.
            const int others = (productCodes_ ? w10 + g_ : 0) + 2 * (w10 + g_) + g_ + width("X") +
                               g_ + width("XXXXXXXXXXXX") + g_ / 2;
            if (others + descWidth > W_ - 2 * clear || TL_ < clear) {
                descWidth = std::max(width(std::string(20, 'X')),
                                     std::min(descWidth, W_ - 2 * clear - others));
                TL_ = std::max(1, (W_ - others - descWidth) / 2);
            }
        }
        int x = TL_;
        auto column = [&](Col& col, int w) {
            col.start = x;
            col.width = w;
            col.rule = x + w + g_ / 2;
            x += w + g_;
        };
        codeCol_ = Col{};
        if (productCodes_) column(codeCol_, w10);
        column(qtyCol_, w10);
        column(descCol_, descWidth);
        column(priceCol_, w10);
        column(taxCol_, width("X"));
        extCol_.start = taxCol_.start + width("X") + g_;
        extCol_.width = width("XXXXXXXXXXXX");
        extCol_.rule = extCol_.start + extCol_.width + g_ / 2;
        pageRows_ = 0;
        headingsDone_ = false;
    }

    struct Col {
        int start = 0, width = 0, rule = 0;
    };

    void headings() {
        if (headingsDone_) return;
        headingsDone_ = true;
        useFont(FormFont::Body);
        if (d_.isMemo()) {
            c_.textOut(TL_, headingRow_, t_.memoHeading);
            return;
        }
        if (productCodes_) c_.textOut(codeCol_.start, headingRow_, t_.codeHeading);
        rightAligned(qtyCol_.start + qtyCol_.width, headingRow_, t_.qtyHeading);
        c_.textOut(descCol_.start, headingRow_, t_.descHeading);
        rightAligned(priceCol_.start + priceCol_.width, headingRow_, t_.priceHeading);
        c_.textOut(taxCol_.start, headingRow_, "T");
        rightAligned(extCol_.start + extCol_.width, headingRow_, t_.extHeading);
    }

    void columnRules(int bottom) {
        if (!vRules_ || d_.isMemo()) return;
        for (const Col* col : {&codeCol_, &qtyCol_, &descCol_, &priceCol_, &taxCol_, &extCol_}) {
            if (col->width == 0) continue;
            c_.moveTo(col->rule, ruleTop_);
            c_.lineTo(col->rule, bottom);
        }
    }

    // Ends the page with "Continued on page number" and starts the next one with its
    // header; the table goes on at the first row.
    void pageBreak() {
        useFont(FormFont::Body);
        y_ += m_;
        columnRules(y_);
        const std::string text =
            "Continued on page number " + std::to_string(c_.pageNumber() + 1) + " ...";
        c_.textOut(HW_ - width(text) / 2, std::min(y_ + 3 * lh_, H_ - 2 * lh_), text);
        c_.newPage();
        pageTop(false);
    }

    void lineRows() {
        std::vector<const DocumentLine*> rows;
        for (const DocumentLine& l : d_.lines)
            if (!(packingSlip() && l.subtotalOrDiscount())) rows.push_back(&l);
        headings();
        for (size_t i = 0; i < rows.size(); ++i) {
            headings();
            const DocumentLine& l = *rows[i];
            if (productCodes_) c_.textOut(codeCol_.start, y_, data::FirstChars(l.code, 10));
            rightAligned(qtyCol_.start + qtyCol_.width, y_, l.quantity);
            c_.textOut(descCol_.start, y_, l.description);
            if (!l.quantity.empty() || !l.price.empty()) {
                rightAligned(priceCol_.start + priceCol_.width, y_,
                             packingSlip() ? std::string(kHidden) : l.price);
                c_.textOut(taxCol_.start, y_, l.taxable);
                const std::string ext = packingSlip() ? std::string(kHidden) : l.extension;
                if (!ext.empty()) rightAligned(extCol_.start + extCol_.width, y_, ext);
            }
            if (!l.subtotalOrDiscount()) quantityTotal_ = Add(quantityTotal_, l.quantityValue);
            y_ += lh_;
            ++pageRows_;
            if (i + 1 < rows.size() && y_ > H_ - 10 * lh_) pageBreak();
        }
        qA_ = qtyCol_.rule;
        qB_ = descCol_.rule;
        qC_ = taxCol_.rule;
    }

    static data::Decimal Add(data::Decimal a, data::Decimal b) {
        return data::Decimal::FromUnits(a.units() + b.units());
    }

    void memoRows() {
        headings();
        size_t last = 0;  // one past the last line with text
        for (size_t k = 0; k < d_.memo.size(); ++k)
            if (!data::TrimText(d_.memo[k]).empty()) last = k + 1;
        for (size_t k = 0; k < last; ++k) {
            c_.setFont(MemoFont(co_));
            const int lhM = lineHeight();
            const std::string& line = d_.memo[k];
            // Blank lines keep the spacing of the text, up to the 19th.
            if (k >= 19 && line.empty()) continue;
            // A long line in a large font moves left rather than off the page.
            c_.textOut(std::max(1, std::min(TL_, W_ - 2 - width(line))), y_, line);
            y_ += lhM;
            ++pageRows_;
            if (k + 1 < last && y_ > H_ - 10 * lhM) pageBreak();
        }
        useFont(FormFont::Body);
        // The totals of a short memo stand low on the page; the payment block under them
        // moves them up by its height, so that the sales message keeps its place.
        y_ = std::max(y_, H_ - 14 * lh_ - 100 - paymentHeight());
        qA_ = W_ / 6;
        qB_ = (W_ / 6) * 3;
        qC_ = (W_ / 6) * 4;
    }

    // The number of totals rows and the height of the totals block from the end of the
    // table to the rule under it.
    int totalsRows() const {
        if (packingSlip()) return 3;
        int rows = 2;  // "Total:" and the grand total
        if (ShowsTaxRow(d_, t_)) ++rows;
        if (!quote()) rows += 2;  // the paid amount and the balance due
        return rows;
    }
    int totalsHeight() const { return m_ + totalsRows() * lh_ + m_; }
    // The payment block under the totals, with a half row above it.
    int paymentHeight() {
        useFont(FormFont::Body);
        return payment_.empty() ? 0 : m_ + payment_.height(c_);
    }

    bool agingShown() const {
        return co_.byte(Company::PrintCustAging) && !packingSlip() && !quote();
    }
    // Where the footer starts; the totals must end above it.
    int footerTop() {
        if (!agingShown()) return H_ - 2;
        useFont(FormFont::Aging);
        const int lhA = lineHeight();
        useFont(FormFont::Body);
        return H_ - 3 * lhA - lhA / 2 - 2;
    }

    void endOfTable() {
        useFont(FormFont::Body);
        const int limit = footerTop();
        const bool rules = !d_.isMemo();
        int r = pageRows_;
        if (co_.byte(Company::MoveTotalsDown)) {
            const int maxLines = SettingNumber(co_.text(Company::MaxLines));
            if (maxLines >= r) {
                // Moved down only as far as the totals still fit above the footer.
                int move = (maxLines - r + 1) * lh_;
                move = std::min(move,
                                std::max(0, limit - (y_ + m_ + totalsHeight() + paymentHeight())));
                y_ += move;
            }
        }
        if (y_ + m_ + totalsHeight() + paymentHeight() > limit) {
            pageBreak();
            headings();
        }
        y_ += m_;
        if (rules) columnRules(y_);
        if (hRules_) rule(y_);
    }

    void totals() {
        useFont(FormFont::Body);
        if (TrimmedText(co_.text(Company::TotalQuantity)) == "Y" && !d_.isMemo())
            leftOfLabels(y_ + m_,
                         "Total " + t_.qtyHeading + ": " + QuantityTotalText(quantityTotal_));
        y_ += m_;
        if (packingSlip()) {
            c_.textOut(qA_, y_ + 2 * lh_, "This is a packing slip. Please pay from invoice.");
            y_ += 3 * lh_;
        } else {
            const int right = qC_ + g_ / 2 + width("XXXXXXXXXXXX");
            // Every amount ends on the right edge, and every currency symbol stands in one
            // column before the widest of them; the labels start at their anchor, moved
            // left only where a long label would reach the symbols.
            std::vector<data::Money> amounts{d_.net, d_.tax, d_.grandTotal};
            if (!quote()) amounts.insert(amounts.end(), {d_.paid, d_.balanceDue});
            int widest = 0;
            for (const data::Money& m : amounts)
                widest = std::max(widest, width(m.shownText()));
            const int symbolX = right - widest - width(" ") - width(t_.currency);
            auto labelled = [&](int row, const std::string& label, data::Money m) {
                c_.textOut(std::max(1, std::min(qB_, symbolX - width(label) - g_ / 2)), row, label);
                if (!t_.currency.empty()) c_.textOut(symbolX, row, t_.currency);
                rightAligned(right, row, m.shownText());
            };
            int row = y_;
            labelled(row, "Total:", d_.net);
            if (ShowsTaxRow(d_, t_)) {
                row += lh_;
                labelled(row, TaxLabel(d_, t_), d_.tax);
            }
            row += lh_;
            labelled(row, quote() ? QuoteTotalLabel(t_) : "Grand Total:", d_.grandTotal);
            if (!quote()) {
                // The paid amount takes a row of its own in the column of amounts, with the
                // paid date beside it at the left anchor.
                row += lh_;
                labelled(row, "Paid Amount:", d_.paid);
                if (data::CharCount(d_.paidDate) > 7)
                    leftOfLabels(row, "Paid Date: " + d_.paidDate);
                row += lh_;
                labelled(row, "Balance Due:", d_.balanceDue);
            }
            y_ = row;
        }
        y_ += lh_ + m_;
        if (hRules_) rule(y_);
    }

    // The payment block across the table's width, under the totals.
    void paymentBlock() {
        if (payment_.empty()) return;
        useFont(FormFont::Body);
        y_ = payment_.draw(c_, TL_, y_ + m_, std::max(TL_, W_ - TL_));
    }

    // Text at the left anchor of the totals, moved left where a large font would reach
    // the labels of the same row.
    void leftOfLabels(int y, const std::string& text) {
        c_.textOut(std::max(1, std::min(qA_, qB_ - width(text) - g_)), y, text);
    }

    void salesMessage() {
        if (!co_.byte(Company::PrintSalesMsg)) return;
        useFont(FormFont::SalesMessage);
        const int lh = lineHeight();
        // Above the aging footer, whatever the two fonts.
        int top = H_ - 7 * lh - 100;
        const int limit = footerTop();
        useFont(FormFont::SalesMessage);
        top = std::min(top, limit - 4 * lh);
        if (y_ >= top) return;
        std::vector<std::string> lines;
        if (d_.noteOnInvoice) {
            lines = WrapText(c_, d_.note, W_ / 2);
        } else {
            lines = {co_.text(Company::SalesMsg1), co_.text(Company::SalesMsg2),
                     co_.text(Company::SalesMsg3), co_.text(Company::SalesMsg4)};
        }
        PageWriter::salesMessage(top, lh, lines);
    }

    void agingFooter() {
        if (!agingShown()) return;
        useFont(FormFont::Aging);
        const int lh = lineHeight(), m = lh / 2, q = 2 * lh;
        if (co_.byte(Company::UseShading)) shadedBox(H_ - q - lh - m, H_ - 2);
        useFont(FormFont::Aging);
        c_.textOut(LM_, H_ - q - lh, "Total Account Balance: " + d_.accountBalance.shownText());
        const auto captions = AgingCaptions(co_);
        std::array<std::string, 4> texts;
        for (int b = 0; b < 4; ++b) {
            const data::Money m = d_.aging[size_t(b)];
            std::string& shown = texts[size_t(b)];
            shown = AgingFooterText(captions, b, InvoiceDocument::Padded(m));
            // In a large font the padding gives way, so that the amounts stay apart.
            if (width(shown) > W_ / 4 - g_ / 2) shown = AgingFooterText(captions, b, m.shownText());
        }
        agingQuarters(LM_, H_ - q, texts);
    }

    Canvas& c_;
    const InvoiceDocument& d_;
    DocumentKind kind_;
    const data::CompanyRecord& co_;
    FormTexts t_;
    PaymentBlock payment_;
    std::optional<SwissBill> swissBill_;
    DocumentInfo info_;
    int W_ = 0, H_ = 0, HW_ = 0, LM_ = 0, TM_ = 0, AI_ = 0, boxTop_ = 0;
    int lineWidth_ = 1, hatch_ = 8;
    bool dotted_ = true;
    Color shade_, boxColour_;
    int sx_ = 1, sy_ = 1;
    std::string logo_;
    bool productCodes_ = false, vRules_ = false, hRules_ = false;

    int y_ = 0, lh_ = 0, m_ = 0;
    int headingRow_ = 0, ruleTop_ = 0, TL_ = 1, g_ = 0;
    Col codeCol_, qtyCol_, descCol_, priceCol_, taxCol_, extCol_;
    int pageRows_ = 0;
    int pageCount_ = 0;
    bool headingsDone_ = false;
    int qA_ = 0, qB_ = 0, qC_ = 0;
    data::Decimal quantityTotal_;
};

std::string LongTime(const platform::LocalDateTime& t) {
    const int h12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", h12, t.minute, t.second,
                  t.hour < 12 ? "AM" : "PM");
    return buf;
}

}  // namespace

int SettingNumber(const std::string& text) {
    std::string_view t = data::TrimText(text);
    int value = 0;
    for (char ch : t) {
        if (!std::isdigit(static_cast<unsigned char>(ch)) || value > 100000) return 0;
        value = value * 10 + (ch - '0');
    }
    return value;
}

std::string PicturePath(const std::string& folder, const std::string& name) {
    const std::string t = data::TrimmedText(name);
    if (t.empty() || t[0] == '/') return t;
    return data::JoinPath(folder, t);
}

Font MemoFont(const data::CompanyRecord& company) {
    const Font body = FormFontOf(company, FormFont::Body);
    Font f;
    f.face = TrimmedText(company.text(Company::EditorFontName));
    if (f.face.empty()) f.face = "Arial";
    const int size = company.int32(Company::EditorFontSize);
    f.size = (size > 0 ? size : 10) + 2;
    f.color = body.color;
    f.style = body.style;
    return f;
}

PaymentBlock DocumentPaymentBlock(const InvoiceDocument& doc, DocumentKind kind,
                                  const FormContext& form, const Canvas& canvas) {
    if (kind == DocumentKind::PackingSlip) return PaymentBlock(PaymentDetails{});
    PaymentDetails details = ReadPaymentDetails(form.folder, form.company);
    details.bank = kind != DocumentKind::Quote;
    if (!details.bank || details.iban.empty()) return PaymentBlock(details);
    const data::CompanyEInvoice settings = data::ReadCompanyEInvoice(form.folder, form.company);
    if (SendsSwissBills(settings.country)) {
        // The code is on the QR-bill's page; the block names the reference a payment to
        // the account takes, also for a transfer typed by hand (codes switched off, or no
        // bill for an address it cannot carry).
        if (DocumentToBePaid(doc))
            if (auto r = data::InvoiceReferenceFor(settings.iban, doc.number))
                details.reference = data::PrintedReference(*r);
        return PaymentBlock(details);
    }
    return WithPaymentCode(std::move(details), form.folder, form.company,
                           DocumentPaymentTransfer(form.company, settings, doc), canvas);
}

bool PrintDocument(Canvas& canvas, const InvoiceDocument& doc, DocumentKind kind,
                   const FormContext& form, const std::string& target,
                   const std::string& einvoiceXml, std::string* note) {
    // A PDF the program makes itself is on the company's paper.
    canvas.setPaperSize(data::CompanyPaper(form.folder, form.company));
    // Counted first, so that each page of a longer document says how many there are.
    const int pages = CountPages(canvas, [&](Canvas& counter) {
        InvoiceLayout(counter, doc, kind, form).run(std::string());
    });
    InvoiceLayout layout(canvas, doc, kind, form);
    layout.setPageCount(pages);
    if (kind == DocumentKind::Invoice) {
        SwissBillOutcome swiss = InvoiceSwissBill(form.folder, form.company, doc);
        if (note) *note = swiss.problem;
        layout.setSwissBill(std::move(swiss.bill));
    }
    const std::string title = PrintJobTitle(doc, kind);
    layout.setInfo(
        DocumentInfo{title, TrimmedText(form.company.text(Company::Name)),
                     DocumentCaption(doc, kind, ReadFormTexts(form.company)) + " " + doc.number,
                     std::string(kPdfProducer)});
    canvas.setEmbeddedInvoice(einvoiceXml);
    const bool done = layout.run(target.empty() ? title : target);
    canvas.setEmbeddedInvoice({});
    return done;
}

bool PrintReceipt(Canvas& canvas, const InvoiceDocument& doc, DocumentKind kind,
                  const FormContext& form, const platform::Clock& clock) {
    const data::CompanyRecord& co = form.company;
    const FormTexts t = ReadFormTexts(co);
    const std::string title = PrintJobTitle(doc, kind);
    canvas.setOrientation(Orientation::Portrait);
    canvas.setDocumentInfo(
        DocumentInfo{title, TrimmedText(co.text(Company::Name)), title, std::string(kPdfProducer)});
    if (!canvas.beginDocument(title)) return false;
    const int W = canvas.pageWidth(), H = canvas.pageHeight();
    const bool slip = kind == DocumentKind::PackingSlip;
    int y = SettingNumber(co.text(Company::FormTopMargin));
    int lh = 0;
    auto use = [&](FormFont f) {
        canvas.setFont(FormFontOf(co, f));
        lh = LineHeight(canvas);
    };
    auto centred = [&](const std::string& s) {
        canvas.textOut(std::max(1, (W - canvas.textWidth(s)) / 2), y, s);
        y += lh;
    };
    auto row = [&](const std::string& s) {
        if (data::TrimText(s).empty()) return;
        canvas.textOut(1, y, s);
        y += lh;
    };
    // A new page when the position passes seven rows above the foot.
    auto room = [&]() {
        if (y > H - 7 * lh) {
            canvas.newPage();
            y = SettingNumber(co.text(Company::FormTopMargin));
        }
    };
    auto valueRow = [&](const std::string& label, const std::string& value) {
        room();
        canvas.textOut(1, y, label);
        canvas.textOut(W - canvas.textWidth(value), y, value);
        y += lh;
    };

    use(FormFont::Body);
    if (co.byte(Company::PrintLogo)) {
        const std::string logo = PicturePath(form.folder, co.text(Company::LogoFile));
        const int screen = form.screenResolution > 0 ? form.screenResolution : 96;
        if (auto size = canvas.imageSize(logo)) {
            const int w =
                std::min(W - 2, size->width * std::max(1, canvas.resolutionX() / screen) / 2);
            const int h = size->height * w / std::max(1, size->width);
            if (canvas.stretchDraw(1, y, 1 + w, y + h, logo)) y += h + lh;
        }
    }
    use(FormFont::Caption);
    centred(DocumentCaption(doc, kind, t));
    centred(doc.number);
    use(FormFont::CompanyAddress);
    if (ShowsDuplicate(doc, kind, co)) centred("** Duplicate **");
    if (TrimmedText(co.text(Company::NoCoNameOnForm)) != "Y") {
        row(co.text(Company::Name));
        row(co.text(Company::CoAddr1));
        row(co.text(Company::CoAddr2));
        row(co.text(Company::CoAddr3));
        row(co.text(Company::CoAddr4));
        row(co.text(Company::CoAddr5));
    }
    use(FormFont::CustomerAddress);
    y += lh;
    for (const std::string& l : doc.billTo)
        row(l);
    use(FormFont::Body);
    y += lh;
    row("Date: " + doc.date);
    row("Time: " + LongTime(clock.now()));
    y += lh;

    const int xWidth = canvas.textWidth("X");
    if (doc.isMemo()) {
        size_t last = 0;
        for (size_t k = 0; k < doc.memo.size(); ++k)
            if (!data::TrimText(doc.memo[k]).empty()) last = k + 1;
        for (size_t k = 0; k < last; ++k) {
            room();
            if (!doc.memo[k].empty()) canvas.textOut(1, y, doc.memo[k]);
            y += lh;
        }
    } else {
        const bool codes = co.byte(Company::PrintProdCodes) != 0;
        for (const DocumentLine& l : doc.lines) {
            if (slip && l.subtotalOrDiscount()) continue;
            room();
            if (codes) canvas.textOut(1, y, t.codeHeading + ": " + l.code);
            canvas.textOut(1, y + lh, l.description);
            if (!l.quantity.empty() || !l.price.empty()) {
                const std::string price = slip ? std::string(kHidden) : l.price;
                canvas.textOut(1, y + 2 * lh, l.quantity + " @ " + price);
                const std::string ext =
                    (slip ? std::string(kHidden) : l.extension) + " " + l.taxable;
                canvas.textOut(W - xWidth - canvas.textWidth(ext), y + 2 * lh, ext);
            }
            y += 3 * lh;
        }
    }
    y += lh;
    if (slip) {
        room();
        row("This is a packing slip.");
    } else {
        auto money = [&](data::Money m) { return t.currency + m.shownText(); };
        valueRow("Total:", money(doc.net));
        if (ShowsTaxRow(doc, t)) valueRow(TaxLabel(doc, t), money(doc.tax));
        if (kind == DocumentKind::Quote) {
            valueRow(QuoteTotalLabel(t), money(doc.grandTotal));
        } else {
            valueRow("Grand Total:", money(doc.grandTotal));
            if (data::CharCount(doc.paidDate) > 7) valueRow("Paid Date:", doc.paidDate);
            valueRow("Paid Amount:", money(doc.paid));
            valueRow("Balance Due:", money(doc.balanceDue));
        }
    }
    const PaymentBlock payment = DocumentPaymentBlock(doc, kind, form, canvas);
    if (!payment.empty()) y += lh;
    for (const std::string& line : PaymentLines(payment.details())) {
        room();
        row(line);
    }
    return canvas.endDocument();
}

PdfOutcome WriteInvoicePdf(Canvas& pdfCanvas, const InvoiceDocument& doc, DocumentKind kind,
                           const FormContext& form, const std::string& path,
                           std::optional<bool> einvoice) {
    PdfOutcome out;
    out.found = true;
    // An e-invoice that cannot be made right is refused before any file is written.
    const EInvoiceResult xml =
        PdfInvoiceXml(doc, kind, form.folder, form.company,
                      einvoice.value_or(EInvoiceOn(form.folder, form.company)));
    if (!xml.ok()) {
        out.error = xml.error;
        return out;
    }
    if (path.empty()) {
        const std::string folder = PdfFolder(form.folder);
        if (!data::EnsureFolder(folder, &out.error)) return out;
        out.path = data::JoinPath(folder, InvoicePdfName(doc, kind));
    } else {
        out.path = path;
        if (!data::MayWriteUserFile(path, &out.error)) return out;
    }
    if (!PrintDocument(pdfCanvas, doc, kind, form, out.path, xml.xml, &out.note)) {
        out.error = pdfCanvas.lastError();
        if (out.error.empty()) out.error = "Cannot write the PDF file " + out.path + ".";
        return out;
    }
    out.ok = true;
    out.status = "PDF: " + out.path + " complete.";
    if (!out.note.empty()) out.status += " " + out.note;
    // A viewer that could not be started leaves its note.
    out.error = pdfCanvas.lastError();
    return out;
}

bool IsDepositType(char transType) {
    return transType == 'D' || transType == 'T';
}

PdfOutcome InvoicePdf(const DocumentFiles& files, std::string_view number, const FormContext& form,
                      Canvas& pdfCanvas, platform::Prompter& prompter,
                      std::optional<DocumentKind> kind, const std::string& path,
                      std::optional<bool> einvoice) {
    const InvoiceDocument doc = AssembleInvoiceDocument(files, number, form.company, prompter);
    PdfOutcome out;
    if (!doc.found) {
        out.error = "Invoice " + TrimmedText(number) + " was not found.";
        return out;
    }
    out.found = true;
    if (IsDepositType(doc.transType)) {
        out.error = "Record " + TrimmedText(number) +
                    " is a Deposit on Account; the customer statement shows deposits.";
        return out;
    }
    return WriteInvoicePdf(pdfCanvas, doc, kind.value_or(KindOfDocument(doc)), form, path,
                           einvoice);
}

PrintOutcome PrintInvoice(const DocumentFiles& files, const PrintRequest& request,
                          const FormContext& form, Canvas& printer, platform::Prompter& prompter,
                          const platform::Clock& clock, LabelQueue* labels) {
    PrintOutcome out;
    const data::CompanyRecord& co = form.company;
    InvoiceDocument doc = AssembleInvoiceDocument(files, request.number, co, prompter);
    if (!doc.found) {
        out.error = "Invoice " + TrimmedText(request.number) + " was not found.";
        return out;
    }
    out.found = true;
    const DocumentKind kind =
        request.packingSlipOnly ? DocumentKind::PackingSlip : KindOfDocument(doc);
    const bool receipt = TrimmedText(co.text(Company::ReceiptPrinter)) == "Y";
    // A printer that prints to a PDF file makes an e-invoice of it when one can be made; a
    // paper print never waits for one.
    const EInvoiceResult xml =
        PdfInvoiceXml(doc, kind, form.folder, co, EInvoiceOn(form.folder, co));
    const bool ok = receipt ? PrintReceipt(printer, doc, kind, form, clock)
                            : PrintDocument(printer, doc, kind, form, {}, xml.xml, &out.note);
    if (!ok) {
        out.error = printer.lastError();
        return out;
    }
    out.printed = true;
    out.printer = printer.destination();
    // A packing slip is no invoice: it leaves the invoice waiting for the batch print.
    if (kind != DocumentKind::PackingSlip) MarkInvoicePrinted(files.invoices, doc, prompter);
    if (request.batch && labels && TrimmedText(co.text(Company::LabelQueueOnBatch)) == "Y" &&
        doc.customerFound)
        labels->add(LabelEntry{doc.account, doc.billTo[0], doc.mailSortCode, doc.custType});
    if (!request.packingSlipOnly) {
        // Packing slips and file copies always take the page layout.
        if (co.byte(Company::PrintPackSlip))
            PrintDocument(printer, doc, DocumentKind::PackingSlip, form);
        if (co.byte(Company::PrintFileCopy)) {
            const int copies = SettingNumber(co.text(Company::NumCopies));
            for (int i = 0; i < copies; ++i)
                PrintDocument(printer, doc, DocumentKind::FileCopy, form);
        }
    }
    out.status = request.packingSlipOnly
                     ? "Packing Slip for invoice " + doc.number + " sent to printer."
                     : "Invoice " + doc.number + " sent to printer.";
    if (!out.note.empty()) out.status += " " + out.note;
    return out;
}

}  // namespace invarro::output
