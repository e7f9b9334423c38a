// The small text formats of OAuth sign-in: base64 (plain and URL-safe), form and query
// encoding, the flat JSON objects providers answer with, the address in an id token, the
// check that an endpoint is safe to send a secret to, and the error a mail server sends
// back for a refused XOAUTH2 token.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace invarro::platform {

std::string Base64(std::string_view bytes, bool urlSafe = false);
// Reads either alphabet, with or without padding; nothing when the text is not base64.
std::optional<std::string> FromBase64(std::string_view text);

// Percent-encoding for a form or query value (RFC 3986 unreserved characters stay).
std::string FormEncode(std::string_view value);
std::string FormBody(const std::vector<std::pair<std::string, std::string>>& fields);
// "a=1&b=x%20y" into its fields; "+" is a blank. Nothing when an escape is broken.
std::optional<std::map<std::string, std::string>> ParseQuery(std::string_view query);

// The members of a JSON object whose values are strings, numbers or true/false, as text;
// nested objects and arrays are skipped. Nothing when the text is not a JSON object.
std::optional<std::map<std::string, std::string>> ParseJsonObject(std::string_view json);

// The address an id token (a JWT; its signature is not checked: it came straight from the
// token endpoint over TLS) names: "email", else "preferred_username" when it holds an
// "@"; empty when there is none.
std::string AccountOfIdToken(std::string_view idToken);

// Why an endpoint may not be used (empty when it may): it must be https://, except
// http:// to the loopback (127.0.0.1, [::1], localhost), and have a host.
std::string EndpointProblem(std::string_view url);

// The XOAUTH2 refusal a server sends as "334 <base64 JSON>": its status and scheme in a
// short text ("status 401, schemes bearer"); empty when the reply is not one.
std::string XOAuth2Refusal(std::string_view reply);

}  // namespace invarro::platform
