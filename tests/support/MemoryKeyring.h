// A keyring double: secrets in a map, a switch for whether the service answers, a switch
// that makes stores fail, and a count of the calls.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/Keyring.h"

namespace invarro::testing {

class MemoryKeyring : public platform::Keyring {
  public:
    bool answers = true;       // a keyring service is there
    bool refuseStore = false;  // stores fail (a locked keyring, a refused prompt)
    std::map<std::string, std::string, std::less<>> secrets;
    int stores = 0, lookups = 0, erases = 0;

    bool available() override { return answers; }
    bool store(std::string_view companyNo, std::string_view secret,
               std::string* error = nullptr) override {
        ++stores;
        if (!answers || refuseStore) return fail(error);
        secrets[std::string(companyNo)] = std::string(secret);
        return true;
    }
    std::optional<std::string> lookup(std::string_view companyNo,
                                      std::string* error = nullptr) override {
        ++lookups;
        if (!answers) {
            fail(error);
            return std::nullopt;
        }
        auto it = secrets.find(companyNo);
        if (it == secrets.end()) return std::nullopt;
        return it->second;
    }
    bool erase(std::string_view companyNo, std::string* error = nullptr) override {
        ++erases;
        if (!answers) return fail(error);
        if (auto it = secrets.find(companyNo); it != secrets.end()) secrets.erase(it);
        return true;
    }

  private:
    static bool fail(std::string* error) {
        if (error) *error = "The keyring is locked.";
        return false;
    }
};

}  // namespace invarro::testing
