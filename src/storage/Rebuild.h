// Recovery of fileblocks. Restructure copies every slot of a data file through a converter
// into a fresh data file (compacting it, and able to change the record layout); Reindex
// builds a new index file from the data file, asking the application for each record's
// key strings. The application's rebuild is a restructure with an unchanged layout
// followed by a reindex.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "storage/Engine.h"

namespace invarro::storage {

// The memory a reindex keeps the entries of one pass in (the index of a larger file is
// built in several passes); sorting a key takes one more copy of that key's entries.
inline constexpr int64_t kReindexSortBytes = 256ll << 20;

// Called after a record is read (direction 1) and before it is written (direction 0).
using RecordHook =
    std::function<void(uint8_t* record, int32_t length, int direction, intptr_t user)>;
// Fills the new record from the old one; length is the new record's length in and (for
// variable-length records) the length produced out. Returns false to drop the record.
// Clearing EngineOk stops the restructure with 10475.
using RecordConverter =
    std::function<bool(const uint8_t* oldRecord, uint8_t* newRecord, int32_t& length)>;
// Builds the key string of one key number from a record. Returning false (or clearing
// EngineOk) stops the reindex with 10470.
using KeyBuilder =
    std::function<bool(const uint8_t* record, int32_t length, int keyNo, std::string& key)>;
// Called after every record with (key number, records read, records written or keys added,
// record length, record). Returning false (or clearing EngineOk) stops with 10460.
using ProgressCallback = std::function<bool(int keyNo, int32_t read, int32_t written,
                                            int32_t length, const uint8_t* record)>;

// The progress callback held by the engine for the next operations (none when empty).
void SetProgressCallback(ProgressCallback callback);
const ProgressCallback& GetProgressCallback();

// Drops deleted slots (first four bytes not 0) and copies live records unchanged.
bool DefaultConverter(const uint8_t* oldRecord, uint8_t* newRecord, int32_t& length);
// A hook that does nothing.
void NoRecordHook(uint8_t*, int32_t, int, intptr_t);

void Restructure(const std::string& name, int32_t newLength, int32_t oldLength, intptr_t user,
                 const RecordHook& hook, const RecordConverter& converter,
                 bool variableLength = false);

void Reindex(const std::string& name, int numKeys, const KeyDescriptor* keys, intptr_t user,
             const RecordHook& hook, const KeyBuilder& builder, bool deleteRejected,
             bool variableLength, bool* logWritten);

// The counters shown while a fileblock is rebuilt.
struct RebuildCounters {
    int keyNumber = 0;  // 0 while the data file is copied
    int32_t recordsRead = 0;
    int32_t recordsWritten = 0;
    bool operator==(const RebuildCounters&) const = default;
};
// Receives the counters every 50 records read (and at the end of each pass); returning
// false stops the rebuild (10460).
using RebuildSink = std::function<bool(const RebuildCounters&)>;

// The recovery of a fileblock that cannot be opened: restructure with the default
// converter, then reindex with the delete flag set. recordLength 0 takes the length from the
// data file's header. Returns EngineOk; logWritten tells whether a ".MSG" log was written.
bool RebuildFileblock(const std::string& name, int32_t recordLength, int numKeys,
                      const KeyDescriptor* keys, const KeyBuilder& builder, const RebuildSink& sink,
                      bool* logWritten = nullptr);

}  // namespace invarro::storage
