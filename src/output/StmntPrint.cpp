// The statement on the page canvas and as a PDF file.
#include <algorithm>
#include <cstdio>

#include "data/Ansi.h"
#include "data/DataFolder.h"
#include "data/EInvoiceData.h"
#include "data/Files.h"
#include "data/SideFiles.h"
#include "output/CStmnt.h"
#include "output/FileNames.h"
#include "output/InvDoc.h"
#include "output/PageWriter.h"
#include "output/PaymentBlock.h"
#include "output/PaymentCode.h"

namespace invarro::output {

namespace {

using data::Company;
using data::Money;
using data::TrimmedText;

// The seller's details and, for a balance to pay in euro, the customer's RF reference and
// the payment code asking for the statement's balance.
PaymentBlock StatementPaymentBlock(const Statement& s, const FormContext& form,
                                   const Canvas& canvas) {
    PaymentDetails details = ReadPaymentDetails(form.folder, form.company);
    if (details.iban.empty()) return PaymentBlock(std::move(details));
    const data::CompanyEInvoice settings = data::ReadCompanyEInvoice(form.folder, form.company);
    return WithPaymentCode(std::move(details), form.folder, form.company,
                           StatementPaymentTransfer(form.company, settings, s.custNo, s.balanceSum),
                           canvas);
}

class StatementLayout : private PageWriter {
  public:
    StatementLayout(Canvas& canvas, const Statement& s, const FormContext& form,
                    const data::Date& today)
        : PageWriter(canvas, form.company),
          c_(canvas),
          s_(s),
          co_(form.company),
          folder_(form.folder),
          payment_(StatementPaymentBlock(s, form, canvas)) {
        W_ = c_.pageWidth();
        H_ = c_.pageHeight();
        HW_ = W_ / 2;
        // The text keeps clear of the box, the rules and the shading that start at 20.
        LM_ = std::max(25, SettingNumber(co_.text(Company::FormLeftMargin)));
        TM_ = SettingNumber(co_.text(Company::FormTopMargin));
        AI_ = SettingNumber(co_.text(Company::AddrShiftRight));
        boxTop_ = SettingNumber(co_.text(Company::BoxTop));
        lineWidth_ = std::max(1, SettingNumber(co_.text(Company::LineWidth)));
        boxColour_ = Color::fromValue(
            uint32_t(data::ReadColourFile(data::JoinPath(folder_, data::kBoxColourFile))));
        const int screen = form.screenResolution > 0 ? form.screenResolution : 96;
        sx_ = std::max(1, c_.resolutionX() / screen);
        sy_ = std::max(1, c_.resolutionY() / screen);
        if (co_.byte(Company::PrintLogo)) logo_ = PicturePath(folder_, co_.text(Company::LogoFile));
        rules_ = co_.byte(Company::FormHorizontalLines) != 0;
        const data::DateOrder order =
            data::DateOrderFromCode(TrimmedText(co_.text(Company::DateFormatCode)));
        today_ = data::FormatUserDate(today, order);
        currency_ = ReadFormTexts(co_).currency;
    }

    bool run(const DocumentInfo& info, const std::string& name) {
        c_.setDocumentInfo(info);
        c_.setOrientation(Orientation::Portrait);
        if (!c_.beginDocument(name)) return false;
        c_.setPen(Pen{lineWidth_, kBlack, PenStyle::Solid});
        c_.setBrush(Brush{BrushStyle::Clear, kWhite});
        page_ = 1;
        pageTop();
        for (size_t i = 0; i < s_.rows.size(); ++i) {
            row(s_.rows[i]);
            if (i + 1 < s_.rows.size() && y_ > rowLimit()) pageBreak();
        }
        // The totals and the payment block go onto a new page rather than over the footer.
        if (y_ + m_ + lh_ + lineWidth_ + paymentHeight() > footerTop() - m_) pageBreak();
        totals();
        paymentBlock();
        salesMessage();
        agingFooter();
        return c_.endDocument();
    }

  private:
    // The box, the rules and the shading stand 20 units in from the paper's edges.
    static constexpr int kInset = 20;
    void centredRight(int y, const std::string& t) { centred(HW_, HW_, y, t); }
    void rule(int y) { PageWriter::rule(kInset, y); }
    std::string fit(std::string t, int w) const { return FitText(c_, std::move(t), w); }

    // The line "Continued on page ..." stands here, above the box's lower edge.
    int continuedY() const { return std::min(H_ - 100, H_ - 25 - lh_); }
    int rowLimit() const { return std::min(H_ - 250, continuedY() - 2 * lh_); }

    // The top of what the last page keeps below the totals: the aging footer, else the
    // page box's lower edge.
    int footerTop() {
        if (!co_.byte(Company::PrintCustAging)) return H_ - kInset;
        return agingRows().box;
    }

    struct AgingRows {
        int status = 0, amounts = 0, box = 0, lh = 0;
    };
    AgingRows agingRows() {
        const Font previous = c_.font();
        useFont(FormFont::Aging);
        AgingRows r;
        r.lh = lineHeight();
        const int m = r.lh / 2;
        r.amounts = std::min(H_ - 110, H_ - 20 - m - r.lh);
        r.status = r.amounts - r.lh;
        r.box = r.status - m;
        c_.setFont(previous);
        return r;
    }

    void pageTop() {
        if (co_.byte(Company::BoxStatements)) {
            box(kInset, page_ == 1 ? boxTop_ : boxTop_ + 5, W_ - kInset, H_ - kInset, boxColour_,
                lineWidth_);
        } else if (co_.byte(Company::LetterheadStyle)) {
            c_.textOut(0, 0, " ");
        }
        useFont(FormFont::Body);
        const int lhB = lineHeight();
        int y = TM_ + 2 * lhB;
        int logoBottom = 0;
        const std::string pageText = "Page Number: " + std::to_string(page_);
        if (co_.byte(Company::LetterheadStyle)) {
            centredRight(y + 9 * lhB, pageText);
            y += 9 * lhB + lhB;
        } else {
            int LW = 0;
            if (!logo_.empty()) {
                if (auto size = c_.imageSize(logo_)) {
                    const int w = size->width * sx_ / 2, h = size->height * sy_ / 2;
                    if (c_.stretchDraw(LM_, y, LM_ + w, y + h, logo_)) {
                        LW = w + 25;
                        logoBottom = y + h + 25;
                    }
                }
            }
            useFont(FormFont::Caption);
            const int lhC = lineHeight();
            const int captionY = y + 2 * lhB;
            centredRight(captionY, TrimmedText(co_.text(Company::StatementCaption)));
            useFont(FormFont::CompanyAddress);
            const int lh = lineHeight();
            if (TrimmedText(co_.text(Company::NoCoNameOnForm)) != "Y") {
                const int x = LM_ + LW + AI_;
                int line = y;
                for (auto f : {Company::Name, Company::CoAddr1, Company::CoAddr2, Company::CoAddr3,
                               Company::CoAddr4, Company::CoAddr5}) {
                    c_.textOut(x, line, co_.text(f));
                    line += lh;
                }
            }
            y += 8 * lh;
            // The page number stays under the caption whatever the two fonts.
            y = std::max(y, captionY + lhC);
            centredRight(y, pageText);
            y += lh;
        }

        useFont(FormFont::CustomerAddress);
        const int lh = lineHeight();
        y = std::max(y, logoBottom);
        for (int i = 0; i < 5; ++i)
            c_.textOut(LM_ + AI_, y + i * lh, s_.address[size_t(i)]);
        const int y0 = y + 4 * lh + 3 * lh;

        useFont(FormFont::Body);
        lh_ = lineHeight();
        m_ = lh_ / 2;
        if (co_.byte(Company::UseShading))
            hatchedBox(kInset, y0 - m_, W_ - kInset, y0 + 4 * lh_ + m_);
        if (rules_) {
            rule(y0 - m_);
            rule(y0 + 2 * lh_ + m_);
            rule(y0 + 4 * lh_ + m_);
        }
        c_.textOut(LM_, y0, "Statement Date: " + today_);
        c_.textOut(HW_, y0, "Account Number: " + s_.custNo);
        c_.textOut(LM_, y0 + lh_, co_.text(Company::StmntNote));

        g_ = width("Xl");
        const int w8 = width(std::string(8, 'X'));
        const int w27 = width(std::string(27, 'X'));
        w10_ = width(std::string(10, 'X'));
        x_[0] = LM_;
        x_[1] = x_[0] + w8 + g_;
        x_[2] = x_[1] + w8 + g_;
        x_[3] = x_[2] + w27 + g_;
        x_[4] = x_[3] + w10_ + g_;
        x_[5] = x_[4] + w10_ + g_;
        x_[6] = x_[5] + w10_ + g_;
        w8_ = w8;
        w27_ = w27;

        const int heading = y0 + 3 * lh_;
        c_.textOut(x_[0], heading, "Date");
        c_.textOut(x_[1], heading, "Invoice#");
        c_.textOut(x_[2], heading, "Reference/Comments");
        rightAligned(x_[3] + w10_, heading, "Total Amount");
        rightAligned(x_[4] + w10_, heading, "Paid Amount");
        rightAligned(x_[5] + w10_, heading, " Balance Due");
        c_.textOut(x_[6], heading, "C");
        y_ = y0 + 5 * lh_;
    }

    void row(const StatementRow& r) {
        useFont(FormFont::Body);
        c_.textOut(x_[0], y_, fit(r.date, w8_ + g_ / 2));
        c_.textOut(x_[1], y_, fit(r.number, w8_ + g_ / 2));
        c_.textOut(x_[2], y_, fit(r.reference, w27_ + g_ / 2));
        rightAligned(x_[3] + w10_, y_, r.total.shownText());
        rightAligned(x_[4] + w10_, y_, r.paid.shownText());
        rightAligned(x_[5] + w10_, y_, r.balance.shownText());
        c_.textOut(x_[6], y_, std::string(1, r.type));
        y_ += lh_;
    }

    void pageBreak() {
        useFont(FormFont::Body);
        c_.textOut(LM_, continuedY(), "Continued on page " + std::to_string(page_ + 1) + " ...");
        c_.newPage();
        ++page_;
        pageTop();
    }

    void totals() {
        useFont(FormFont::Body);
        if (rules_) rule(y_ + m_);
        const int y = y_ + m_;
        c_.textOut(x_[2], y, std::string(kAccountTotals));
        rightAligned(x_[3] + w10_, y, currency_ + s_.totalSum.shownText());
        rightAligned(x_[4] + w10_, y, currency_ + s_.paidSum.shownText());
        rightAligned(x_[5] + w10_, y, currency_ + s_.balanceSum.shownText());
        if (rules_) rule(y + lh_);
        y_ = y + lh_ + lineWidth_;
    }

    int paymentHeight() {
        useFont(FormFont::Body);
        return payment_.empty() ? 0 : m_ + payment_.height(c_);
    }

    // The seller's identity and bank details under the totals, across the table.
    void paymentBlock() {
        if (payment_.empty()) return;
        useFont(FormFont::Body);
        y_ = payment_.draw(c_, x_[0], y_ + m_, x_[5] + w10_);
    }

    void salesMessage() {
        if (!co_.byte(Company::PrintSalesMsg)) return;
        useFont(FormFont::SalesMessage);
        const int lh = lineHeight();
        const int top = std::min(H_ - 7 * lh - 100, footerTop() - 4 * lh - lh / 2);
        useFont(FormFont::SalesMessage);
        if (y_ >= top) return;
        std::vector<std::string> lines;
        if (s_.notesOnStatement)
            lines = WrapText(c_, s_.notes, W_ / 2);
        else
            lines = {co_.text(Company::SalesMsg1), co_.text(Company::SalesMsg2),
                     co_.text(Company::SalesMsg3), co_.text(Company::SalesMsg4)};
        PageWriter::salesMessage(top, lh, lines);
    }

    void agingFooter() {
        if (!co_.byte(Company::PrintCustAging)) return;
        const AgingRows r = agingRows();
        useFont(FormFont::Aging);
        if (co_.byte(Company::UseShading)) hatchedBox(kInset, r.box, W_ - kInset, H_ - kInset);
        c_.textOut(LM_, r.status, "Account Status:");
        const auto captions = AgingCaptions(co_);
        std::array<std::string, 4> texts;
        for (int b = 0; b < 4; ++b)
            texts[size_t(b)] =
                fit(AgingFooterText(captions, b, s_.aging[size_t(b)].shownText()), W_ / 4 - g_ / 2);
        agingQuarters(LM_, r.amounts, texts);
    }

    Canvas& c_;
    const Statement& s_;
    const data::CompanyRecord& co_;
    std::string folder_;
    PaymentBlock payment_;
    int W_ = 0, H_ = 0, HW_ = 0, LM_ = 0, TM_ = 0, AI_ = 0, boxTop_ = 0, lineWidth_ = 1;
    Color boxColour_;
    int sx_ = 1, sy_ = 1;
    std::string logo_;
    bool rules_ = false;
    std::string today_, currency_;
    int page_ = 1, y_ = 0, lh_ = 0, m_ = 0, g_ = 0, w8_ = 0, w10_ = 0, w27_ = 0;
    int x_[7] = {};
};

}  // namespace

bool PrintStatement(Canvas& canvas, const Statement& s, const FormContext& form,
                    const data::Date& today, const std::string& target) {
    // A PDF the program makes itself is on the company's paper.
    canvas.setPaperSize(data::CompanyPaper(form.folder, form.company));
    StatementLayout layout(canvas, s, form, today);
    const std::string title = target.empty() ? StatementJobTitle(s) : StatementPdfTitle(s);
    const DocumentInfo info{title, TrimmedText(form.company.text(Company::Name)),
                            target.empty() ? title : StatementPdfName(s),
                            std::string(kPdfProducer)};
    return layout.run(info, target.empty() ? title : target);
}

std::string StatementJobTitle(const Statement& s) {
    const std::string name = TrimmedText(s.name);
    return name.empty() ? "Statement - " + TrimmedText(s.custNo) : "Statement - " + name;
}

std::string StatementPdfTitle(const Statement& s) {
    return "Customer-" + TrimmedText(s.custNo) + "Statement";
}

std::string StatementPdfName(const Statement& s) {
    return SafeFileName(StatementPdfTitle(s) + ".pdf");
}

PdfOutcome WriteStatementPdf(Canvas& pdfCanvas, const Statement& s, const FormContext& form,
                             const data::Date& today, const std::string& intoFolder) {
    PdfOutcome out;
    const std::string folder = intoFolder.empty() ? PdfFolder(form.folder) : intoFolder;
    if (!data::EnsureFolder(folder, &out.error)) return out;
    out.path = data::JoinPath(folder, StatementPdfName(s));
    std::remove(out.path.c_str());
    if (!PrintStatement(pdfCanvas, s, form, today, out.path)) {
        out.error = pdfCanvas.lastError();
        if (out.error.empty()) out.error = "Cannot write the PDF file " + out.path + ".";
        return out;
    }
    out.ok = true;
    out.status = "PDF: " + out.path + " complete.";
    out.error = pdfCanvas.lastError();
    return out;
}

}  // namespace invarro::output
