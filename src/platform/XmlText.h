// Text written into XML or HTML as character data or an attribute value.
#pragma once

#include <string>
#include <string_view>

namespace invarro::platform {

// The five special characters escaped, control characters other than tab and line end
// dropped (XML 1.0 cannot carry them).
std::string XmlText(std::string_view text);

}  // namespace invarro::platform
