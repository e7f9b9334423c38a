// The error a window operation raises when a record operation fails. It carries the
// operation's fixed text ("Add operation failed", ...); the window's event boundary shows
// it in a message box and the window stays usable.
#pragma once

#include <stdexcept>
#include <string>

namespace invarro::data {

class OperationError : public std::runtime_error {
  public:
    explicit OperationError(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace invarro::data
