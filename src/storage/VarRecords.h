// Variable-length records: one logical record stored as a chain of fixed-length slots
// ("sections"). The slot length L of the data file is then a block length.
//
// First section: the record's first L - 6 bytes (starting with its deleted mark).
// Continuation section: byte 0 is 1 (so the slot never looks live to a sequential scan),
// then L - 7 bytes of data. Every section ends with the number of data bytes used (int16 at
// L - 6) and the record number of the next section (int32 at L - 4, 0 in the last).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "storage/BufferedRecords.h"
#include "storage/Engine.h"

namespace invarro::storage {

inline constexpr int32_t kLongestVariableRecord = 65520;

// The most sections one record may take for slot length L.
int32_t MaxSections(int32_t slotLength);

// Reads the logical record whose first section is recNo. capacity is in/out: the buffer's
// size in, the number of bytes delivered out.
void ReadVariableRecord(Fileblock* fb, int32_t recNo, uint8_t* buffer, int32_t& length);

// Deletes every section of the record.
void DeleteVariableRecord(Fileblock* fb, int32_t recNo);

// Appends a record as consecutive sections through the writer; returns the record number of
// its first section (0 on failure).
int32_t AppendVariableRecord(BufferedWriter& writer, const uint8_t* record, int32_t length);

// The data bytes a section holds (its used-byte count, at most the room it has).
int32_t SectionUsedBytes(const uint8_t* section, int32_t slotLength, bool first);

// Reads section n into out (slotLength bytes); false when it cannot be read.
using SectionReader = std::function<bool(int32_t n, uint8_t* out)>;
// Assembles the record whose first section is given, reading the others with read.
// Fails with 10415 when the chain is broken, too long or delivers nothing.
bool AssembleChain(const uint8_t* firstSection, int32_t slotLength, const SectionReader& read,
                   std::vector<uint8_t>& record);

// Assembles a whole record for a sequential reader: the first section's bytes are given,
// the rest is read through the fileblock. Fails with 10415 when the chain is broken, too
// long or delivers nothing.
bool AssembleVariableRecord(Fileblock* fb, const uint8_t* firstSection,
                            std::vector<uint8_t>& record);

}  // namespace invarro::storage
