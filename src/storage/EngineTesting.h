// Test seam: makes the n-th call of an engine operation fail with a chosen error before
// it touches any file, so that callers' recovery paths can be exercised.
#pragma once

#include <cstdint>

namespace invarro::storage {

enum class EngineOp {
    Create,
    Open,
    Close,
    AddRecord,
    GetRecord,
    PutRecord,
    DeleteRecord,
    AddKey,
    DeleteKey,
    FindKey,  // FindKeyAtOrAfter and FindKeyAndRecord
    NextKey,
    PrevKey,
    Count
};

// The nth call (1 = the next one) of op fails with error.
void InjectFault(EngineOp op, int nth, int32_t error);
// Removes all pending faults and resets the call counters.
void ClearFaults();
// Calls of op since the last ClearFaults().
int EngineOpCalls(EngineOp op);

// The memory a reindex sorts the entries of one pass in (0: the normal amount), so that
// small files can be built in several passes.
void SetReindexSortBytes(int64_t bytes);

// Used by the engine's operations: counts the call and fails it when a fault is due.
bool FaultTriggered(EngineOp op);

}  // namespace invarro::storage
