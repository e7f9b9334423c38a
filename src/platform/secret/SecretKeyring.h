// The desktop keyring through libsecret (the freedesktop Secret Service: GNOME Keyring,
// KeePassXC, KWallet with its secret-service bridge). Secrets are stored with the
// program's schema and the company number as attribute, labelled for the user's keyring
// manager.
#pragma once

#include <optional>

#include "platform/Keyring.h"

namespace invarro::platform::secret {

inline constexpr const char* kSchemaName = "org.invarro.Invarro.MailPassword";

class SecretKeyring : public Keyring {
  public:
    bool available() override;
    bool store(std::string_view companyNo, std::string_view secret,
               std::string* error = nullptr) override;
    std::optional<std::string> lookup(std::string_view companyNo,
                                      std::string* error = nullptr) override;
    bool erase(std::string_view companyNo, std::string* error = nullptr) override;

  private:
    // Asked once per run: the service does not come and go while the program runs.
    std::optional<bool> available_;
};

}  // namespace invarro::platform::secret
