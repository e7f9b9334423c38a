#include "storage/VarRecords.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "storage/Backend.h"
#include "storage/Bytes.h"
#include "storage/EngineInternal.h"

namespace invarro::storage {

namespace {

// The engine's section buffer, grown on demand.
std::vector<uint8_t> gSection;

bool sectionBuffer(int32_t length) {
    if (gSection.size() >= size_t(length)) return true;
    try {
        gSection.resize(size_t(length));
        return true;
    } catch (const std::bad_alloc&) {
        Fail(err::NoSectionBuffer);
        return false;
    }
}

}  // namespace

int32_t SectionUsedBytes(const uint8_t* section, int32_t L, bool first) {
    int32_t used = uint16_t(rd16(section + L - 6));
    return std::min(used, first ? L - 6 : L - 7);
}

int32_t MaxSections(int32_t L) {
    if (L <= 7) return 0;
    // The chain of the longest record: a first section of L - 6 bytes, then continuation
    // sections of L - 7 bytes each.
    int32_t longest = 1 + (kLongestVariableRecord - (L - 6) + (L - 7) - 1) / (L - 7);
    return std::max((65525 - L) / (L - 6) + 2, std::max(longest, 1));
}

bool AssembleChain(const uint8_t* firstSection, int32_t L, const SectionReader& read,
                   std::vector<uint8_t>& record) {
    record.clear();
    std::vector<uint8_t> section;
    const uint8_t* s = firstSection;
    for (int32_t sections = 0;;) {
        const bool first = sections == 0;
        int32_t used = SectionUsedBytes(s, L, first);
        if (int64_t(record.size()) + used > kLongestVariableRecord) {
            Fail(err::VarChainBroken);
            return false;
        }
        record.insert(record.end(), s + (first ? 0 : 1), s + (first ? 0 : 1) + used);
        int32_t next = rd32(s + L - 4);
        if (next == 0) break;
        if (++sections >= MaxSections(L)) {
            Fail(err::VarChainBroken);
            return false;
        }
        section.resize(size_t(L));
        // A chain must go on in a continuation section that can be read.
        if (next < 1 || !read(next, section.data()) || section[0] != 1) {
            ResetStatus();
            Fail(err::VarChainBroken);
            return false;
        }
        s = section.data();
    }
    if (record.empty()) {
        Fail(err::VarChainBroken);
        return false;
    }
    return true;
}

void ReadVariableRecord(Fileblock* fb, int32_t recNo, uint8_t* buffer, int32_t& length) {
    if (!EntryCheck(fb, false)) return;
    const int32_t L = fb->recordLength;
    if (!sectionBuffer(L)) return;
    const int32_t capacity = length;
    length = 0;
    int32_t n = recNo;
    for (int32_t sections = 0; n != 0 && length < capacity; ++sections) {
        if (sections >= MaxSections(L)) return Fail(err::VarChainBroken);
        if (!ReadSlot(fb, n, gSection.data())) return ExitStep(fb);
        const bool first = sections == 0;
        int32_t take = std::min(capacity - length, SectionUsedBytes(gSection.data(), L, first));
        std::memcpy(buffer + length, gSection.data() + (first ? 0 : 1), size_t(take));
        length += take;
        n = rd32(gSection.data() + L - 4);
    }
}

void DeleteVariableRecord(Fileblock* fb, int32_t recNo) {
    if (!EntryCheck(fb, true)) return;
    const int32_t L = fb->recordLength;
    const int32_t high = HighestRecord(fb);
    if (!sectionBuffer(L)) return;
    int32_t n = recNo;
    for (int32_t sections = 0; n != 0; ++sections) {
        if (sections >= MaxSections(L)) return Fail(err::VarChainBroken);
        if (n < 1 || n > high) return Fail(err::VarChainBroken);
        if (!ReadSlot(fb, n, gSection.data())) return ExitStep(fb);
        const uint8_t* mark = gSection.data();
        const uint8_t* link = gSection.data() + L - 4;
        // The first section must be live; continuation sections carry 1 in their first byte.
        if (sections == 0 ? rd32(mark) != 0 : mark[0] != 1) return Fail(err::BadDeleteRecord);
        if (!PushDeletedSlot(fb, n)) return ExitStep(fb);
        n = rd32(link);
    }
}

int32_t AppendVariableRecord(BufferedWriter& writer, const uint8_t* record, int32_t length) {
    Fileblock* fb = writer.fileblock();
    const int32_t L = fb->recordLength;
    if (!sectionBuffer(L)) return 0;
    if (length < 0 || length > kLongestVariableRecord) {
        Fail(err::RecordTooLong);
        return 0;
    }
    int32_t first = 0;
    int32_t done = 0;
    bool isFirst = true;
    do {
        uint8_t* s = gSection.data();
        std::memset(s, 0, size_t(L));
        int32_t room = isFirst ? L - 6 : L - 7;
        int32_t take = std::min(room, length - done);
        if (!isFirst) s[0] = 1;
        std::memcpy(s + (isFirst ? 0 : 1), record + done, size_t(take));
        done += take;
        wr16(s + L - 6, int16_t(take));
        int32_t self = writer.nextRecordNumber();
        wr32(s + L - 4, done < length ? self + 1 : 0);
        int32_t n = writer.append(s);
        if (n == 0) return 0;
        if (isFirst) first = n;
        isFirst = false;
    } while (done < length);
    return first;
}

bool AssembleVariableRecord(Fileblock* fb, const uint8_t* firstSection,
                            std::vector<uint8_t>& record) {
    const int32_t high = HighestRecord(fb);
    return AssembleChain(
        firstSection, fb->recordLength,
        [fb, high](int32_t n, uint8_t* out) { return n <= high && ReadSlot(fb, n, out); }, record);
}

}  // namespace invarro::storage
