// The file layer's record of what a power cut could take (not public; tests drive it
// through EngineTesting.h).
//
// While a folder is watched, every change the file layer makes in it is kept twice in a
// model: each file's bytes as written and as last synced, and each name change with the
// folders whose sync makes it durable. From the model, the folder as a cut at this moment
// could leave it is written elsewhere: the bytes written since a file's last sync lost or
// kept page by page (4 KiB), a grown file's new pages reading as zeros when lost, and every
// name change not yet made durable kept or dropped on its own, in any combination. A file
// cut short since its last sync is either whole as before or cut short (with what was
// written after), never zeros within its old length. INVARRO_POWER_CUT_TRACE=file appends
// every event of the model (opens, writes, syncs, name changes, what a cut kept) to file.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace invarro::storage::cut {

bool Watching();
// A sync of a file or a folder is about to be made: a boundary of the run.
void Boundary();
// Before a name change: the files it touches are taken into the model as they are now.
void Know(const std::string& path);
// After an open: existed tells whether the name was there before.
void Opened(int fd, const std::string& path, bool existed);
void Closed(int fd);
void Wrote(int fd, int64_t pos, const void* bytes, size_t n);
void Resized(int fd, int64_t size);
// The file grew to at least size (reserved space reads as zeros).
void Grew(int fd, int64_t size);
void Synced(int fd);
void SyncedPath(const std::string& path);
void FolderSynced(const std::string& folder);
void Renamed(const std::string& from, const std::string& to);
void Removed(const std::string& path);

}  // namespace invarro::storage::cut
