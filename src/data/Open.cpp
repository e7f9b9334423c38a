#include "data/Open.h"

#include "data/Files.h"
#include "data/Rebuild.h"
#include "data/Texts.h"

namespace invarro::data {

OpenResult OpenBusinessFileblock(const OpenRequest& request, platform::Prompter& prompter) {
    const RecordKind& kind = KindOf(request.kind);
    bool created = false;
    int32_t error = 0;
    for (;;) {
        storage::Fileblock* fb = storage::OpenFileblock(request.name, request.readOnly);
        if (storage::EngineOk) return OpenResult{fb, 0};
        error = storage::EngineError;

        if (error == storage::err::FileNotFound && !created) {
            // Missing: create it empty and open again (once).
            if (!request.whenMissing.text.empty()) prompter.ask(request.whenMissing);
            if (CreateBusinessFileblock(request.name, kind)) {
                created = true;
                continue;
            }
            error = storage::EngineError;
            break;
        }

        if (error == storage::err::IndexDefective) {
            // Left open by a crash, or its index is missing: rebuild it from the data file
            // when the user agrees, then open again.
            platform::Message ask{std::string(kAppTitle), std::string(kIndexDefective),
                                  platform::Icon::Question, platform::Buttons::YesNo,
                                  platform::Answer::Yes};
            if (prompter.ask(ask) != platform::Answer::Yes) break;
            platform::SilentProgress silent;
            platform::Progress& progress = request.progress ? *request.progress : silent;
            if (RebuildBusinessFileblock(request.name, kind, progress, request.rebuildTitle))
                continue;
            // A rebuild that cannot be completed is reported rather than asked about again.
            error = storage::EngineError;
            prompter.ask(platform::Message{
                std::string(kAppTitle),
                "Unable to rebuild the data files: error " + std::to_string(error),
                platform::Icon::Error, platform::Buttons::Ok, platform::Answer::Ok});
        }
        break;
    }

    platform::Message m = request.giveUp;
    if (request.giveUpWithError) m.text += std::to_string(error);
    if (!m.text.empty()) prompter.ask(m);
    return OpenResult{nullptr, error};
}

platform::Message CreateMessage(const std::string& text, const std::string& title) {
    return platform::Message{title, text, platform::Icon::Information, platform::Buttons::Ok,
                             platform::Answer::Ok};
}

platform::Message GiveUpMessage(const std::string& text) {
    return platform::Message{std::string(kAppTitle), text, platform::Icon::Error,
                             platform::Buttons::Ok, platform::Answer::Ok};
}

void OpenExisting(ExistingFileblock& out, const std::string& folder, FileKind kind,
                  std::string_view prefix, platform::Prompter& prompter) {
    const std::string name = FileblockName(folder, kind, prefix);
    if (!storage::FileblockExists(name)) return;
    OpenRequest request;
    request.name = name;
    request.kind = kind;
    OpenResult r = OpenBusinessFileblock(request, prompter);
    out.fb = r.fb;
    out.ok = r.fb != nullptr;
}

}  // namespace invarro::data
