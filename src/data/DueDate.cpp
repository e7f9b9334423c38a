#include "data/DueDate.h"

#include <cctype>
#include <string>
#include <vector>

#include "data/Ansi.h"

namespace invarro::data {

std::optional<int> TermsDays(std::string_view terms) {
    // The words of the terms in lower case; "2%" and "30-day" split at their signs.
    std::vector<std::string> words(1);
    for (char c : terms) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            words.back() += char(std::tolower(static_cast<unsigned char>(c)));
        else if (!words.back().empty())
            words.emplace_back();
    }
    auto days = [](const std::string& w) -> std::optional<int> {
        if (w.empty() || w.size() > 4 || w.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        return std::stoi(w);
    };
    for (size_t i = 0; i + 1 < words.size(); ++i)
        if (words[i] == "net")
            if (std::optional<int> n = days(words[i + 1])) return n;
    for (size_t i = 0; i + 1 < words.size(); ++i)
        if (words[i + 1] == "day" || words[i + 1] == "days")
            if (std::optional<int> n = days(words[i])) return n;
    return std::nullopt;
}

std::optional<Date> PaymentDueDate(const Date& issued, std::string_view terms) {
    if (!IsValidDate(issued)) return std::nullopt;
    if (TrimmedText(terms).empty()) return issued;
    const std::optional<int> days = TermsDays(terms);
    if (!days) return std::nullopt;
    return AddDays(issued, *days);
}

}  // namespace invarro::data
