#include "storage/server/Conninfo.h"

#include <libpq-fe.h>

namespace invarro::pq {

namespace {

void Collect(PQconninfoOption* options, Options& out) {
    out.clear();
    for (PQconninfoOption* o = options; o && o->keyword; ++o)
        if (o->val && *o->val) out.emplace_back(o->keyword, o->val);
}

}  // namespace

bool ParseConninfo(const std::string& conninfo, Options& out, std::string* error) {
    char* message = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &message);
    if (!options) {
        if (error) *error = message ? message : "the connection string cannot be read";
        while (error && !error->empty() && (error->back() == '\n' || error->back() == ' '))
            error->pop_back();
        PQfreemem(message);
        return false;
    }
    Collect(options, out);
    PQconninfoFree(options);
    return true;
}

bool EffectiveConninfo(const std::string& conninfo, Options& out, std::string* error) {
    Options written;
    if (!ParseConninfo(conninfo, written, error)) return false;
    // Starting a connection applies the service file, the environment and the defaults;
    // the first message to the server would only go out at the next poll, which never
    // comes.
    const char* keys[] = {"dbname", nullptr};
    const char* values[] = {conninfo.c_str(), nullptr};
    PGconn* conn = PQconnectStartParams(keys, values, 1);
    if (!conn) {
        if (error) *error = "out of memory";
        return false;
    }
    PQconninfoOption* options = PQconninfo(conn);
    const bool read = options != nullptr;
    if (read) Collect(options, out);
    if (!read && error) *error = PQerrorMessage(conn);
    // A service that is not defined is only found out here.
    if (read && PQstatus(conn) == CONNECTION_BAD && !OptionValue(written, "service").empty()) {
        const std::string why = PQerrorMessage(conn);
        if (why.find("service") != std::string::npos) {
            if (error) *error = why.substr(0, why.find_last_not_of("\n ") + 1);
            PQconninfoFree(options);
            PQfinish(conn);
            return false;
        }
    }
    PQconninfoFree(options);
    PQfinish(conn);
    return read;
}

std::string OptionValue(const Options& options, std::string_view key) {
    for (const auto& [k, v] : options)
        if (k == key) return v;
    return {};
}

void SetOption(Options& options, std::string_view key, std::string_view value) {
    for (auto& [k, v] : options)
        if (k == key) {
            v = value;
            return;
        }
    options.emplace_back(key, value);
}

std::string JoinConninfo(const Options& options) {
    std::string out;
    for (const auto& [k, v] : options) {
        if (!out.empty()) out += ' ';
        out += k + "='";
        for (char c : v) {
            if (c == '\'' || c == '\\') out += '\\';
            out += c;
        }
        out += '\'';
    }
    return out;
}

}  // namespace invarro::pq
