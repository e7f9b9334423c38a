#include "storage/BufferedRecords.h"

#include <cstring>
#include <new>

#include "storage/EngineInternal.h"

namespace invarro::storage {

namespace {

constexpr int32_t kBufferBytes = 32768;
constexpr int32_t kLongestBuffered = 16384;

// Allocates a buffer of slots, one slot fewer each time memory runs out.
int allocateSlots(std::vector<uint8_t>& buf, int32_t length) {
    if (length <= 0 || length > kLongestBuffered) return 0;
    for (int n = kBufferBytes / length; n >= 2; --n) {
        try {
            buf.assign(size_t(n) * size_t(length), 0);
            return n;
        } catch (const std::bad_alloc&) {
        }
    }
    buf.clear();
    return 0;
}

}  // namespace

// ----------------------------------------------------------------------- BufferedReader

void BufferedReader::init(int32_t recordLength, ReadFn read) {
    length_ = recordLength;
    read_ = std::move(read);
    capacity_ = allocateSlots(buf_, recordLength);
    first_ = 1;
    count_ = 0;
}

int BufferedReader::read(int32_t slot, uint8_t* out) {
    const int64_t pos = int64_t(slot) * length_;
    if (capacity_ == 0) {
        int64_t got = read_(pos, out, size_t(length_));
        if (got < 0) return -1;
        return got == length_ ? 1 : 0;
    }
    if (count_ > 0 && slot >= first_ && slot < first_ + count_) {
        std::memcpy(out, buf_.data() + int64_t(slot - first_) * length_, size_t(length_));
        return 1;
    }
    // A read just past the buffer refills it with the following slots; an empty buffer is
    // filled from the slot asked for; any other read goes to the file directly.
    int32_t next = count_ > 0 ? first_ + count_ : slot;
    if (slot >= next && slot < next + capacity_) {
        int64_t got = read_(int64_t(next) * length_, buf_.data(), buf_.size());
        if (got < 0) {
            count_ = 0;
            return -1;
        }
        first_ = next;
        count_ = int32_t(got / length_);
        if (slot >= first_ + count_) return 0;
        std::memcpy(out, buf_.data() + int64_t(slot - first_) * length_, size_t(length_));
        return 1;
    }
    int64_t got = read_(pos, out, size_t(length_));
    if (got < 0) return -1;
    return got == length_ ? 1 : 0;
}

// ----------------------------------------------------------------------- BufferedWriter

bool BufferedWriter::open(Fileblock* fb) {
    fb_ = fb;
    length_ = fb->recordLength;
    pending_ = 0;
    capacity_ = 0;
    buf_.clear();
    if (fb->high == 0 && fb->chainHead == -1) capacity_ = allocateSlots(buf_, length_);
    return true;
}

int32_t BufferedWriter::nextRecordNumber() const {
    if (capacity_ == 0) return fb_->chainHead != -1 ? fb_->chainHead : fb_->high + 1;
    return fb_->high + pending_ + 1;
}

int32_t BufferedWriter::append(const uint8_t* record) {
    if (capacity_ == 0) return AddRecord(fb_, record);
    // The first append marks the file changed, so that a crash before the close leaves a
    // fileblock that asks to be rebuilt.
    if (!MarkChanged(fb_)) return 0;
    std::memcpy(buf_.data() + int64_t(pending_) * length_, record, size_t(length_));
    int32_t n = fb_->high + pending_ + 1;
    if (++pending_ == capacity_ && !flush()) return 0;
    return n;
}

bool BufferedWriter::flush() {
    if (pending_ == 0 || !fb_) return true;
    int64_t pos = int64_t(fb_->high + 1) * length_;
    bool ok = fb_->data.write(pos, buf_.data(), size_t(pending_) * size_t(length_));
    if (ok) fb_->high += pending_;
    pending_ = 0;
    return ok;
}

}  // namespace invarro::storage
