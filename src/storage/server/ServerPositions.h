// Approximate positions in an index too large to count on every scroll. The entry count is
// kept exactly (in the key's row); where an entry lies among them is read from a sample of
// the index's keys taken once (TABLESAMPLE: a few percent of the table's pages, never a
// full scan) and taken again when the count has moved by a tenth. Without a usable sample
// a key's place is interpolated between the first and the last key.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace invarro::storage::server {

// Indexes with at most this many entries answer positions by counting (an index-only scan
// of at most this many entries); larger ones from a sample.
inline constexpr int kCountedPositions = 10000;

// The percentage of the table's pages sampled for an index of n entries: about 20,000 of
// its entries when they are spread over the table, more pages for smaller indexes.
double SamplePercent(int64_t n);

struct KeySpan {
    std::string first;  // the first key of the index
    std::string last;   // the last key
};

// Where key lies between the first and the last key, 0..1 (clamped outside them), reading
// the bytes after their common prefix as a number.
double KeyFraction(const KeySpan& span, std::string_view key);
// A key at fraction f (0..1) of the span.
std::string KeyAtFraction(const KeySpan& span, double f);

// Keys of an index in order, sampled evenly, with its first and last key at the ends.
class KeySample {
  public:
    // keys: any sample of the index's keys, in any order; at most `keep` are kept.
    KeySample(KeySpan span, std::vector<std::string> keys, int64_t entries, size_t keep = 1024);
    int64_t entries() const { return entries_; }
    bool usable() const { return keys_.size() >= 16; }
    // Where key lies in the index, 0..1.
    double fraction(std::string_view key) const;
    // A key near fraction f of the index; the first entry at or after it is the entry there.
    std::string keyAt(double f) const;

  private:
    KeySpan span_;
    std::vector<std::string> keys_;  // sorted, first and last key included
    int64_t entries_ = 0;
};

}  // namespace invarro::storage::server
