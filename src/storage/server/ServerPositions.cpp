#include "storage/server/ServerPositions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace invarro::storage::server {

namespace {

// Bytes after the common prefix read as a number: enough to tell apart what a scroll bar
// of a few hundred pixels can show, small enough for a double to hold exactly.
constexpr int kDigits = 6;

size_t commonPrefix(const KeySpan& s) {
    size_t n = 0;
    while (n < s.first.size() && n < s.last.size() && s.first[n] == s.last[n])
        ++n;
    return n;
}

double valueAfter(std::string_view key, size_t prefix) {
    double v = 0;
    for (int i = 0; i < kDigits; ++i) {
        const size_t j = prefix + size_t(i);
        v = v * 256 + (j < key.size() ? uint8_t(key[j]) : 0);
    }
    return v;
}

int compare(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return uint8_t(a[i]) < uint8_t(b[i]) ? -1 : 1;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

bool less(std::string_view a, std::string_view b) {
    return compare(a, b) < 0;
}

}  // namespace

double SamplePercent(int64_t n) {
    if (n <= 0) return 100;
    return std::clamp(2e6 / double(n), 1.0, 100.0);
}

KeySample::KeySample(KeySpan span, std::vector<std::string> keys, int64_t entries, size_t keep)
    : span_(std::move(span)), entries_(entries) {
    std::sort(keys.begin(), keys.end(), less);
    keys_.push_back(span_.first);
    if (keep < 2) keep = 2;
    // Evenly spaced among the sampled keys: equal shares of the index between neighbours.
    const size_t step = std::max<size_t>(1, (keys.size() + keep - 1) / keep);
    for (size_t i = step / 2; i < keys.size(); i += step)
        if (less(keys_.back(), keys[i]) && less(keys[i], span_.last)) keys_.push_back(keys[i]);
    if (less(keys_.back(), span_.last)) keys_.push_back(span_.last);
}

double KeySample::fraction(std::string_view key) const {
    if (!usable()) return KeyFraction(span_, key);
    // Between sample i - 1 and sample i: interpolated inside that share.
    const auto it =
        std::lower_bound(keys_.begin(), keys_.end(), key,
                         [](const std::string& a, std::string_view b) { return less(a, b); });
    const size_t i = size_t(it - keys_.begin());
    if (i == 0) return 0;
    if (i >= keys_.size()) return 1;
    const double share = 1.0 / double(keys_.size() - 1);
    const double within = KeyFraction({keys_[i - 1], keys_[i]}, key);
    return std::clamp((double(i - 1) + within) * share, 0.0, 1.0);
}

std::string KeySample::keyAt(double f) const {
    if (!usable()) return KeyAtFraction(span_, f);
    if (!(f > 0)) return span_.first;
    if (f >= 1) return span_.last;
    const double at = f * double(keys_.size() - 1);
    const size_t i = std::min(size_t(at), keys_.size() - 2);
    return KeyAtFraction({keys_[i], keys_[i + 1]}, at - double(i));
}

double KeyFraction(const KeySpan& span, std::string_view key) {
    if (compare(key, span.first) <= 0) return 0;
    if (compare(key, span.last) >= 0) return 1;
    const size_t prefix = commonPrefix(span);
    // Inside the span every key shares the common prefix.
    const double lo = valueAfter(span.first, prefix), hi = valueAfter(span.last, prefix);
    if (hi <= lo) return 0;
    return std::clamp((valueAfter(key, prefix) - lo) / (hi - lo), 0.0, 1.0);
}

std::string KeyAtFraction(const KeySpan& span, double f) {
    if (!(f > 0)) return span.first;
    if (f >= 1) return span.last;
    const size_t prefix = commonPrefix(span);
    const double lo = valueAfter(span.first, prefix), hi = valueAfter(span.last, prefix);
    double v = std::floor(lo + f * (hi - lo));
    std::string digits(kDigits, '\0');
    for (int i = kDigits - 1; i >= 0; --i) {
        const double d = std::fmod(v, 256);
        digits[size_t(i)] = char(uint8_t(d));
        v = (v - d) / 256;
    }
    while (!digits.empty() && digits.back() == '\0')
        digits.pop_back();  // the shortest such key
    std::string key = span.first.substr(0, prefix) + digits;
    return key.size() > 30 ? key.substr(0, 30) : key;
}

}  // namespace invarro::storage::server
