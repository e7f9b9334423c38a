#include "data/Records.h"

#include <cstdio>

#include "data/Ansi.h"

namespace invarro::data {

void SetMemoLines(MemoRecord& memo, const std::vector<std::string>& lines) {
    for (int k = 1; k <= kMemoLines; ++k) {
        std::string_view line =
            size_t(k) <= lines.size() ? std::string_view(lines[size_t(k - 1)]) : std::string_view();
        memo.setText(MemoLineField(k), line);
    }
}

std::vector<std::string> MemoLines(const MemoRecord& memo) {
    std::vector<std::string> lines;
    for (int k = 1; k <= kMemoLines; ++k)
        lines.push_back(memo.text(MemoLineField(k)));
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

void SetInvoiceDate(InvoiceRecord& invoice, const Date& date, DateOrder order) {
    char month[8], day[8], year[8];
    std::snprintf(month, sizeof month, "%02d", date.month);
    std::snprintf(day, sizeof day, "%02d", date.day);
    std::snprintf(year, sizeof year, "%04d", date.year);
    invoice.setText(Invoice::InvDate, FormatUserDate(date, order));
    invoice.setText(Invoice::InvMonth, month);
    invoice.setText(Invoice::InvDay, day);
    invoice.setText(Invoice::InvYear, year);
    invoice.setText(Invoice::SortDate, std::string(year) + "/" + month + "/" + day);
}

bool IsReceivable(const InvoiceRecord& record) {
    const std::string type = UpperText(TrimText(record.text(Invoice::TransType)));
    return type != "Q" && type != "R";
}

std::string LineNoText(int row) {
    char b[16];
    std::snprintf(b, sizeof b, "%02d", row);
    return b;
}

std::string LineKeyText(std::string_view invNo, std::string_view lineNo) {
    std::string n(TrimText(invNo));
    if (n.size() < 9) n.insert(0, 9 - n.size(), '0');
    return n + std::string(lineNo);
}

}  // namespace invarro::data
