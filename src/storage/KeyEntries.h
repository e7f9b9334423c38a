// The entries of one key while a reindex builds its tree: collected record by record,
// sorted into index order, cleared of rejected records, then read in order by the loader.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace invarro::storage {

class KeyEntries {
  public:
    // Room for `expected` entries of keys of up to keyLength bytes; grows when more come.
    // Throws std::bad_alloc when the memory cannot be had.
    KeyEntries(int keyLength, int64_t expected);
    ~KeyEntries();
    KeyEntries(const KeyEntries&) = delete;
    KeyEntries& operator=(const KeyEntries&) = delete;

    // Bytes one entry takes for keys of this length.
    static int64_t EntryBytes(int keyLength);

    // Adds the entry of record rec (key of at most keyLength bytes). Throws std::bad_alloc.
    void add(int32_t rec, const uint8_t* key, int len);
    int64_t size() const { return size_; }

    // Puts the entries in index order: key bytes, then key length, then record number.
    // Entries added in record order with their keys already in order are left as they are.
    void sort();
    // Drops the entries of the given records (sorted ascending).
    void removeRecords(const std::vector<int32_t>& records);
    // On a unique key, after sort(): keeps the first record of each key and returns the
    // others' record numbers in ascending order.
    std::vector<int32_t> dropRepeatedKeys();

    // Entry i in index order (after sort()): its record number, and its key copied to out
    // (room for 30 bytes) with the key's length returned.
    int32_t record(int64_t i) const;
    int key(int64_t i, uint8_t* out) const;
    // Writes entries first..first+count-1 as the items of a leaf page: record number, no
    // child, key length and key, each item `width` bytes from the last, into zeroed memory.
    void writeItems(int64_t first, int64_t count, uint8_t* out, int width) const;

  private:
    void reserve(int64_t count);
    template <class E>
    E* entries() const {
        return static_cast<E*>(memory_);
    }
    template <class E>
    void sortAs();
    template <class E>
    void removeAs(const std::vector<int32_t>& records);
    template <class E>
    std::vector<int32_t> dropRepeatedAs();
    template <class E>
    void writeItemsAs(int64_t first, int64_t count, uint8_t* out, int width) const;
    void radixSortPacked();

    bool packed_;  // 16-byte entries (keys of up to 11 bytes)
    void* memory_ = nullptr;
    size_t mapped_ = 0;  // bytes mapped at memory_
    int64_t capacity_ = 0;
    int64_t size_ = 0;
    bool ascending_ = true;  // added in ascending record order
    int32_t lastRecord_ = INT32_MIN;
};

}  // namespace invarro::storage
