#include "data/Open.h"

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
            // A defective index is rebuilt from the data file on request and the open
            // tried again. That step is connected here together with the rebuild routine;
            // until then a defective index gives up like every other error.
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

}  // namespace invarro::data
