#include "storage/KeyEntries.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>

#include "storage/Bytes.h"

namespace invarro::storage {

namespace {

uint64_t bigEndian64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
}

void storeBigEndian64(uint8_t* p, uint64_t v) {
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
}

// A key of up to 11 bytes with its length and record number in two words that compare as
// the index orders: the first eight key bytes, then the next three, the length and the
// record number (zero-padded bytes, so a key that is a prefix of another comes first).
struct PackedEntry {
    static constexpr int kLongestKey = 11;
    uint64_t high;
    uint64_t low;

    static PackedEntry make(int32_t rec, const uint8_t* key, int len) {
        uint8_t b[16] = {};
        std::memcpy(b, key, size_t(len));
        return {bigEndian64(b), uint64_t(b[8]) << 56 | uint64_t(b[9]) << 48 |
                                    uint64_t(b[10]) << 40 | uint64_t(uint8_t(len)) << 32 |
                                    uint32_t(rec)};
    }
    int32_t rec() const { return int32_t(uint32_t(low)); }
    bool sameKey(const PackedEntry& o) const { return high == o.high && low >> 32 == o.low >> 32; }
    int copyKey(uint8_t* out) const {
        const int len = int(uint8_t(low >> 32));
        uint8_t b[16];
        storeBigEndian64(b, high);
        b[8] = uint8_t(low >> 56);
        b[9] = uint8_t(low >> 48);
        b[10] = uint8_t(low >> 40);
        std::memcpy(out, b, size_t(len));
        return len;
    }
    bool operator<(const PackedEntry& o) const {
        return high != o.high ? high < o.high : low < o.low;
    }
};
static_assert(sizeof(PackedEntry) == 16);

// A key of up to 30 bytes in four zero-padded big-endian words, then its length and record.
struct WideEntry {
    uint64_t word[4];
    int32_t recNo;
    uint8_t len;

    static WideEntry make(int32_t rec, const uint8_t* key, int len) {
        uint8_t b[32] = {};
        std::memcpy(b, key, size_t(len));
        WideEntry e;
        for (int i = 0; i < 4; ++i)
            e.word[i] = bigEndian64(b + 8 * i);
        e.recNo = rec;
        e.len = uint8_t(len);
        return e;
    }
    int32_t rec() const { return recNo; }
    bool sameKey(const WideEntry& o) const {
        return len == o.len && word[0] == o.word[0] && word[1] == o.word[1] &&
               word[2] == o.word[2] && word[3] == o.word[3];
    }
    int copyKey(uint8_t* out) const {
        uint8_t b[32];
        for (int i = 0; i < 4; ++i)
            storeBigEndian64(b + 8 * i, word[i]);
        std::memcpy(out, b, len);
        return len;
    }
    bool operator<(const WideEntry& o) const {
        for (int i = 0; i < 4; ++i)
            if (word[i] != o.word[i]) return word[i] < o.word[i];
        if (len != o.len) return len < o.len;
        return recNo < o.recNo;
    }
};

// Entry arrays are large (a million records make 16 to 40 MB per key): they are mapped on
// their own, asking for huge pages where the system gives them on request, so that filling
// them does not fault in one 4 KB page at a time.
constexpr size_t kHugePage = size_t(2) << 20;

// Maps at least `bytes` bytes, which it rounds up to whole huge pages.
void* mapEntries(size_t& bytes) {
    bytes = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    if (bytes >= kHugePage) ::madvise(p, bytes, MADV_HUGEPAGE);
#endif
    return p;
}

}  // namespace

int64_t KeyEntries::EntryBytes(int keyLength) {
    return keyLength <= PackedEntry::kLongestKey ? int64_t(sizeof(PackedEntry))
                                                 : int64_t(sizeof(WideEntry));
}

KeyEntries::KeyEntries(int keyLength, int64_t expected)
    : packed_(keyLength <= PackedEntry::kLongestKey) {
    reserve(std::max<int64_t>(expected, 16));
}

KeyEntries::~KeyEntries() {
    if (memory_) ::munmap(memory_, mapped_);
}

void KeyEntries::reserve(int64_t count) {
    const size_t entry = packed_ ? sizeof(PackedEntry) : sizeof(WideEntry);
    size_t bytes = size_t(count) * entry;
    void* grown = mapEntries(bytes);
    if (memory_) {
        std::memcpy(grown, memory_, size_t(size_) * entry);
        ::munmap(memory_, mapped_);
    }
    memory_ = grown;
    mapped_ = bytes;
    capacity_ = int64_t(bytes / entry);
}

void KeyEntries::add(int32_t rec, const uint8_t* key, int len) {
    if (size_ == capacity_) reserve(capacity_ * 2);
    ascending_ = ascending_ && rec > lastRecord_;
    lastRecord_ = rec;
    if (packed_)
        entries<PackedEntry>()[size_++] = PackedEntry::make(rec, key, len);
    else
        entries<WideEntry>()[size_++] = WideEntry::make(rec, key, len);
}

template <class E>
void KeyEntries::sortAs() {
    E* first = entries<E>();
    E* last = first + size_;
    if (!std::is_sorted(first, last)) std::sort(first, last);
}

namespace {

// Byte d of a packed entry's sort digits, from the least significant: the key length, then
// the key bytes from the last to the first.
inline unsigned packedDigit(const PackedEntry& e, int d) {
    return d < 4 ? unsigned(e.low >> (32 + 8 * d)) & 0xFF
                 : unsigned(e.high >> (8 * (d - 4))) & 0xFF;
}

}  // namespace

// Entries added in ascending record order only need their keys put in order by a stable
// sort: a least-significant-digit radix sort over the key bytes and length, which skips
// the bytes every entry shares (the padding of short keys, constant prefixes).
void KeyEntries::radixSortPacked() {
    constexpr int kDigits = 12;
    PackedEntry* a = entries<PackedEntry>();
    std::vector<std::array<int64_t, 256>> counts(kDigits);
    for (auto& c : counts)
        c.fill(0);
    for (int64_t i = 0; i < size_; ++i)
        for (int d = 0; d < kDigits; ++d)
            ++counts[size_t(d)][packedDigit(a[i], d)];
    std::vector<int> digits;
    for (int d = 0; d < kDigits; ++d)
        if (std::find(counts[size_t(d)].begin(), counts[size_t(d)].end(), size_) ==
            counts[size_t(d)].end())
            digits.push_back(d);
    if (digits.empty()) return;
    size_t bytes = size_t(size_) * sizeof(PackedEntry);
    auto* spare = static_cast<PackedEntry*>(mapEntries(bytes));
    PackedEntry* from = a;
    PackedEntry* to = spare;
    for (int d : digits) {
        int64_t at[256];
        int64_t sum = 0;
        for (int b = 0; b < 256; ++b) {
            at[b] = sum;
            sum += counts[size_t(d)][size_t(b)];
        }
        for (int64_t i = 0; i < size_; ++i)
            to[at[packedDigit(from[i], d)]++] = from[i];
        std::swap(from, to);
    }
    if (from != a) std::memcpy(a, from, size_t(size_) * sizeof(PackedEntry));
    ::munmap(spare, bytes);
}

void KeyEntries::sort() {
    if (packed_ && ascending_ && size_ > 1024 &&
        !std::is_sorted(entries<PackedEntry>(), entries<PackedEntry>() + size_))
        radixSortPacked();
    else
        packed_ ? sortAs<PackedEntry>() : sortAs<WideEntry>();
}

template <class E>
void KeyEntries::removeAs(const std::vector<int32_t>& records) {
    E* first = entries<E>();
    E* kept = std::remove_if(first, first + size_, [&records](const E& e) {
        return std::binary_search(records.begin(), records.end(), e.rec());
    });
    size_ = kept - first;
}

void KeyEntries::removeRecords(const std::vector<int32_t>& records) {
    if (records.empty()) return;
    packed_ ? removeAs<PackedEntry>(records) : removeAs<WideEntry>(records);
}

template <class E>
std::vector<int32_t> KeyEntries::dropRepeatedAs() {
    E* e = entries<E>();
    std::vector<int32_t> rejected;
    int64_t kept = 0;
    for (int64_t i = 0; i < size_; ++i) {
        if (kept > 0 && e[kept - 1].sameKey(e[i]))
            rejected.push_back(e[i].rec());
        else
            e[kept++] = e[i];
    }
    size_ = kept;
    std::sort(rejected.begin(), rejected.end());
    return rejected;
}

std::vector<int32_t> KeyEntries::dropRepeatedKeys() {
    return packed_ ? dropRepeatedAs<PackedEntry>() : dropRepeatedAs<WideEntry>();
}

int32_t KeyEntries::record(int64_t i) const {
    return packed_ ? entries<PackedEntry>()[i].rec() : entries<WideEntry>()[i].rec();
}

int KeyEntries::key(int64_t i, uint8_t* out) const {
    return packed_ ? entries<PackedEntry>()[i].copyKey(out) : entries<WideEntry>()[i].copyKey(out);
}

}  // namespace invarro::storage

namespace invarro::storage {

template <class E>
void KeyEntries::writeItemsAs(int64_t first, int64_t count, uint8_t* out, int width) const {
    const E* e = entries<E>() + first;
    for (int64_t j = 0; j < count; ++j, out += width) {
        wr32(out, e[j].rec());
        out[8] = uint8_t(e[j].copyKey(out + 9));
    }
}

void KeyEntries::writeItems(int64_t first, int64_t count, uint8_t* out, int width) const {
    packed_ ? writeItemsAs<PackedEntry>(first, count, out, width)
            : writeItemsAs<WideEntry>(first, count, out, width);
}

}  // namespace invarro::storage
