// The one way windows and tasks open a business fileblock: a missing fileblock is
// created (after the caller's message), a defective index is rebuilt when the user agrees,
// anything that cannot be mended ends with the caller's give-up message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "data/Fileblocks.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"
#include "storage/Engine.h"

namespace invarro::data {

struct OpenRequest {
    std::string name;  // the fileblock name, folder included
    FileKind kind = FileKind::Company;
    // Shown before a missing fileblock is created; with an empty text it is created
    // without a message.
    platform::Message whenMissing;
    // Shown when the fileblock cannot be opened.
    platform::Message giveUp;
    // Appends the engine's error number to the give-up text ("Unable to open databases: 10140").
    bool giveUpWithError = false;
    bool readOnly = false;
    // The window that shows the rebuild's counters (none: the rebuild runs unseen) and its
    // title.
    platform::Progress* progress = nullptr;
    std::string rebuildTitle = "Rebuild Status";
};

struct OpenResult {
    storage::Fileblock* fb = nullptr;  // null when the open gave up
    int32_t engineError = 0;           // why it gave up
    explicit operator bool() const { return fb != nullptr; }
};

OpenResult OpenBusinessFileblock(const OpenRequest& request, platform::Prompter& prompter);

// A fileblock a short task opens only when it is already there (it creates nothing):
// fb stays null when the file does not exist, and ok is false when it exists but could
// not be opened. The fileblock is closed when the object goes.
struct ExistingFileblock {
    storage::Fileblock* fb = nullptr;
    bool ok = true;
    ExistingFileblock() = default;
    ExistingFileblock(const ExistingFileblock&) = delete;
    ExistingFileblock& operator=(const ExistingFileblock&) = delete;
    ~ExistingFileblock() {
        if (fb) storage::CloseFileblock(fb);
    }
};
void OpenExisting(ExistingFileblock& out, const std::string& folder, FileKind kind,
                  std::string_view prefix, platform::Prompter& prompter);

// The message boxes of the usual requests.
platform::Message CreateMessage(const std::string& text, const std::string& title);
platform::Message GiveUpMessage(const std::string& text);

}  // namespace invarro::data
