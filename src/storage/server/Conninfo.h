// Connection strings read and written: the options a libpq connection string or URI gives,
// the options libpq would actually connect with (a service file and the environment
// applied), and a string made back from options.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace invarro::pq {

using Options = std::vector<std::pair<std::string, std::string>>;

// The options written in a connection string ("host=db port=5432") or URI
// ("postgresql://db/books"), nothing else. False with *error when it cannot be read.
bool ParseConninfo(const std::string& conninfo, Options& out, std::string* error = nullptr);

// The options libpq would connect with: the string's, then a named service's, the
// environment's (PGHOST, ...) and libpq's defaults. Nothing is sent to a server: the
// connection is made ready, read and dropped before its first message.
bool EffectiveConninfo(const std::string& conninfo, Options& out, std::string* error = nullptr);

// The value of an option; empty when it is not there.
std::string OptionValue(const Options& options, std::string_view key);
// Sets an option, replacing one of the same name.
void SetOption(Options& options, std::string_view key, std::string_view value);
// A connection string of key='value' pairs (quoted as libpq reads them).
std::string JoinConninfo(const Options& options);

}  // namespace invarro::pq
