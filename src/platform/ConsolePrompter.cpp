#include "platform/ConsolePrompter.h"

namespace invarro::platform {

Answer ConsolePrompter::ask(const Message& m) {
    if (m.title.empty())
        std::fprintf(out_, "%s\n", m.text.c_str());
    else
        std::fprintf(out_, "%s: %s\n", m.title.c_str(), m.text.c_str());
    return m.defaultButton;
}

}  // namespace invarro::platform
