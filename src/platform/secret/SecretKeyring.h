// The desktop keyring through libsecret (the freedesktop Secret Service: GNOME Keyring,
// KeePassXC, KWallet with its secret-service bridge). Secrets are stored with the
// program's schema and the company number as attribute, labelled for the user's keyring
// manager.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Keyring.h"

namespace invarro::platform::secret {

inline constexpr const char* kSchemaName = "org.invarro.Invarro.MailPassword";
// The mail sign-in tokens (OAuth 2.0) are a kind of secret of their own, under their own
// schema, so that storing one never replaces a company's mail password.
inline constexpr const char* kTokenSchemaName = "org.invarro.Invarro.MailToken";
// The passwords of database servers holding the books, by "user@host:port/database".
inline constexpr const char* kServerSchemaName = "org.invarro.Invarro.ServerPassword";

class SecretKeyring : public Keyring {
  public:
    // The kind of secret this keyring keeps: its schema and the label the user's keyring
    // manager shows ("<label>, company 01").
    explicit SecretKeyring(std::string schemaName = kSchemaName,
                           std::string label = "Invarro mail password");
    ~SecretKeyring() override;
    SecretKeyring(const SecretKeyring&) = delete;
    SecretKeyring& operator=(const SecretKeyring&) = delete;

    bool available() override;
    bool store(std::string_view companyNo, std::string_view secret,
               std::string* error = nullptr) override;
    std::optional<std::string> lookup(std::string_view companyNo,
                                      std::string* error = nullptr) override;
    bool erase(std::string_view companyNo, std::string* error = nullptr) override;

  private:
    struct Schema;
    const Schema& schema();

    std::string schemaName_;
    std::string label_;
    std::unique_ptr<Schema> schema_;
    // Asked once per run: the service does not come and go while the program runs.
    std::optional<bool> available_;
};

}  // namespace invarro::platform::secret
