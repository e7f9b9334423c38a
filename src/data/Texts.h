// Texts the program shows from more than one place.
#pragma once

#include <string_view>

namespace invarro::data {

// The application title: caption of the main window and of message boxes that have no
// title of their own.
inline constexpr std::string_view kAppTitle = "ZT Invarro";

inline constexpr std::string_view kFilesInUse = "The files are in use.  Abort?";
inline constexpr std::string_view kCannotGetLock = "Cannot get a lock.  Abort?";
inline constexpr std::string_view kRecordChanged = "The record has changed in the meantime.";
inline constexpr std::string_view kIndexDefective = "Index file is defective.  Rebuild?";

}  // namespace invarro::data
