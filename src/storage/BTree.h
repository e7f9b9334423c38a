// Key operations on the B-tree indexes of a fileblock.
//
// A key string is a byte string of at most 30 bytes compared as unsigned bytes; the
// engine never builds keys itself. Each key of an open fileblock keeps a current
// position that NextKey and PrevKey step from. AddKey and DeleteKey make the position
// of that key stale; NextKey and PrevKey then find their place again from the key
// string and record number the caller passes back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "storage/Engine.h"

namespace invarro::storage {

void AddKey(Fileblock* fb, int keyNo, int32_t recNo, std::string_view key);
void DeleteKey(Fileblock* fb, int keyNo, int32_t recNo, std::string_view key);

// First entry whose key is >= key; key receives the entry's key. Returns the record
// number (0 on failure, 10210).
int32_t FindKeyAtOrAfter(Fileblock* fb, int keyNo, std::string& key);

// Positions on the exact entry (key, recNo). When it does not exist, direction +1
// takes the next entry, -1 the previous one, 0 fails with 10270.
void FindKeyAndRecord(Fileblock* fb, int keyNo, std::string& key, int32_t& recNo, int direction);

void NextKey(Fileblock* fb, int keyNo, std::string& key, int32_t& recNo);
void PrevKey(Fileblock* fb, int keyNo, std::string& key, int32_t& recNo);

int32_t KeyCount(Fileblock* fb, int keyNo);

// Approximate positions on a scale 0..scale, for scroll bars.
uint32_t ApproxKeyPosition(Fileblock* fb, int keyNo, std::string_view key, int32_t recNo,
                           uint32_t scale);
void ApproxKeyAtPosition(Fileblock* fb, int keyNo, uint32_t position, uint32_t scale,
                         std::string& key, int32_t& recNo);
uint32_t ApproxRecordPosition(Fileblock* fb, int32_t recNo, uint32_t scale);
int32_t ApproxRecordAtPosition(Fileblock* fb, uint32_t position, uint32_t scale);

// Compares two key strings as the indexes order them.
int CompareKeys(std::string_view a, std::string_view b);

}  // namespace invarro::storage
