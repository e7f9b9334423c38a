// The tables and functions the books keep in a PostgreSQL database.
#pragma once

namespace invarro::storage::server {

// Version of the layout below, kept in invarro.meta.
inline constexpr int kSchemaVersion = 1;

// Creates the schema "invarro" with its tables and functions when they are not there;
// running it again changes nothing.
extern const char* const kSchemaSql;

}  // namespace invarro::storage::server
