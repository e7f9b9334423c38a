// A one-token text form of key strings for tools and logs: "\s" is a blank, "\xHH" a
// byte outside the printable range, "\\" a backslash and "" the empty key.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace invarro::storage {

std::string EncodeKeyText(std::string_view key);
// Returns nothing when the token is malformed.
std::optional<std::string> DecodeKeyText(std::string_view token);
// Record bytes as text: printable ASCII as is, every other byte as "\xHH".
std::string EscapeBytes(std::string_view bytes);

}  // namespace invarro::storage
