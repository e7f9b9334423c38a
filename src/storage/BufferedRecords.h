// Buffered record access for the batch operations (restructure and reindex): a reader
// that serves consecutive slots from a 32 KB buffer, and an appending writer that writes
// many records in one piece.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "storage/Engine.h"

namespace invarro::storage {

class BufferedReader {
  public:
    // Reads up to n bytes at pos; returns the count read, or -1 on an error.
    using ReadFn = std::function<int64_t(int64_t pos, uint8_t* buf, size_t n)>;

    // Buffers 32768 div L slots (fewer when memory is short; none below two slots, when L is
    // 0 or above 16384).
    void init(int32_t recordLength, ReadFn read);
    int slotsBuffered() const { return capacity_; }

    // Reads slot n into out: 1 when read, 0 at the end of the file (short read), -1 on error.
    int read(int32_t slot, uint8_t* out);
    // Forgets the buffered slots (after a slot was changed in the file).
    void invalidate() { count_ = 0; }

  private:
    int32_t length_ = 0;
    int capacity_ = 0;
    std::vector<uint8_t> buf_;
    int32_t first_ = 1;
    int32_t count_ = 0;
    ReadFn read_;
};

// Appends records to an open fileblock. When the fileblock is empty and its record length
// is at most 16384 the records are collected in a buffer and written in one piece when it
// is full; otherwise each record goes through AddRecord.
// Call flush() before closing the fileblock.
class BufferedWriter {
  public:
    bool open(Fileblock* fb);
    // Appends one record of the fileblock's length; returns its record number (0 on failure).
    int32_t append(const uint8_t* record);
    // The record number the next appended record receives.
    int32_t nextRecordNumber() const;
    bool flush();
    Fileblock* fileblock() const { return fb_; }

  private:
    Fileblock* fb_ = nullptr;
    int32_t length_ = 0;
    int capacity_ = 0;
    int pending_ = 0;
    std::vector<uint8_t> buf_;
};

}  // namespace invarro::storage
