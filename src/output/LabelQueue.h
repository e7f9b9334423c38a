// The mailing-label queue of the program run: the customers that labels, form letters
// and the free e-mail message go to. The customer manager, new invoices and batch
// printing append to it; the label window edits and prints it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace invarro::output {

// One queued customer, as the label window lists it.
struct LabelEntry {
    std::string custNo;
    std::string name;
    std::string sortCode;
    std::string custType;
    bool operator==(const LabelEntry&) const = default;
};

class LabelQueue {
  public:
    void add(LabelEntry entry) { entries_.push_back(std::move(entry)); }
    // Whether a customer of that number (as the entries hold it, trimmed) is queued.
    bool contains(std::string_view custNo) const {
        return std::any_of(entries_.begin(), entries_.end(),
                           [custNo](const LabelEntry& e) { return e.custNo == custNo; });
    }
    // Removes entry i; an index outside the queue does nothing.
    void remove(std::size_t i) {
        if (i < entries_.size()) entries_.erase(entries_.begin() + std::ptrdiff_t(i));
    }
    // Replaces entry i; an index outside the queue does nothing.
    void replace(std::size_t i, LabelEntry entry) {
        if (i < entries_.size()) entries_[i] = std::move(entry);
    }
    void clear() { entries_.clear(); }
    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }
    const std::vector<LabelEntry>& entries() const { return entries_; }

  private:
    std::vector<LabelEntry> entries_;
};

}  // namespace invarro::output
