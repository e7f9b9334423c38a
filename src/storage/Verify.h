// Reads a fileblock's files directly, without the engine, to describe and verify them.
// It shares no code with the engine's B-tree, so a fault in one is caught by the other.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace invarro::storage {

struct KeyInfo {
    int keyLength = 0;
    bool duplicates = false;
    int32_t entries = 0;
    int32_t root = 0;
    int32_t highPage = 0;
    int32_t freeHead = -1;
    int32_t freePages = 0;
    int itemsPerPage = 0;
    int32_t pageSize = 0;
};

struct FileblockInfo {
    int32_t recordLength = 0;
    int32_t high = 0;
    int32_t chainHead = -1;
    int32_t deleted = 0;
    int numKeys = 0;
    bool updateInProgress = false;
    std::vector<KeyInfo> keys;
};

// Reads the data header and the key headers. Returns false with a message on failure.
bool ReadFileblockInfo(const std::string& name, FileblockInfo& info, std::string& error);

// Every structural invariant of the data file and of each B-tree; one line per problem,
// empty when the fileblock is sound.
std::vector<std::string> CheckFileblock(const std::string& name);

// Calls fn for every live record (record number, bytes) in record-number order.
bool ForEachLiveRecord(const std::string& name,
                       const std::function<void(int32_t, const std::string&)>& fn,
                       std::string& error);

// Calls fn for every entry of key keyNo in index order.
bool ForEachKeyEntry(const std::string& name, int keyNo,
                     const std::function<void(const std::string&, int32_t)>& fn,
                     std::string& error);

}  // namespace invarro::storage
