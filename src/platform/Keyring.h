// The desktop keyring: secrets kept by the desktop's secret service instead of in the
// program's files. The program keeps one secret per company, the mail password, found by
// the company's number.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace invarro::platform {

class Keyring {
  public:
    virtual ~Keyring() = default;

    // Whether a keyring service answers.
    virtual bool available() = 0;
    // Stores (or replaces) the company's secret. False and *error when it was not stored.
    virtual bool store(std::string_view companyNo, std::string_view secret,
                       std::string* error = nullptr) = 0;
    // The company's secret; nothing when the keyring holds none or cannot be asked (then
    // *error says why).
    virtual std::optional<std::string> lookup(std::string_view companyNo,
                                              std::string* error = nullptr) = 0;
    // Removes the company's secret; true when it is gone (or was never there).
    virtual bool erase(std::string_view companyNo, std::string* error = nullptr) = 0;
};

}  // namespace invarro::platform
