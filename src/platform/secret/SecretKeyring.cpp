#include "platform/secret/SecretKeyring.h"

#include <libsecret/secret.h>

namespace invarro::platform::secret {

namespace {

// Takes over a GError: its message into *error, and frees it. False when there was one.
bool Check(GError* failure, std::string* error) {
    if (!failure) return true;
    if (error) *error = failure->message ? failure->message : "unknown error";
    g_error_free(failure);
    return false;
}

}  // namespace

SecretKeyring::SecretKeyring(std::string schemaName, std::string label)
    : schemaName_(std::move(schemaName)), label_(std::move(label)) {}

SecretKeyring::~SecretKeyring() = default;

struct SecretKeyring::Schema {
    SecretSchema schema;
};

const SecretKeyring::Schema& SecretKeyring::schema() {
    if (!schema_) {
        schema_ = std::make_unique<Schema>();
        schema_->schema = SecretSchema{schemaName_.c_str(),
                                       SECRET_SCHEMA_NONE,
                                       {
                                           {"company", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                           {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       },
                                       0,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr};
    }
    return *schema_;
}

bool SecretKeyring::available() {
    if (!available_) {
        // Loading the collections makes the service answer; a missing session bus or
        // a bus without a secret service fails here.
        GError* failure = nullptr;
        SecretService* service =
            secret_service_get_sync(SECRET_SERVICE_LOAD_COLLECTIONS, nullptr, &failure);
        available_ = Check(failure, nullptr) && service != nullptr;
        if (service) g_object_unref(service);
    }
    return *available_;
}

bool SecretKeyring::store(std::string_view companyNo, std::string_view secret, std::string* error) {
    const std::string number(companyNo);
    const std::string value(secret);
    const std::string label =
        label_ + (schemaName_ == kServerSchemaName ? ", " : ", company ") + number;
    GError* failure = nullptr;
    const gboolean stored = secret_password_store_sync(
        &schema().schema, SECRET_COLLECTION_DEFAULT, label.c_str(), value.c_str(), nullptr,
        &failure, "company", number.c_str(), nullptr);
    return Check(failure, error) && stored;
}

std::optional<std::string> SecretKeyring::lookup(std::string_view companyNo, std::string* error) {
    const std::string number(companyNo);
    GError* failure = nullptr;
    gchar* found = secret_password_lookup_sync(&schema().schema, nullptr, &failure, "company",
                                               number.c_str(), nullptr);
    if (!Check(failure, error)) return std::nullopt;
    if (!found) return std::nullopt;
    std::string value(found);
    secret_password_free(found);
    return value;
}

bool SecretKeyring::erase(std::string_view companyNo, std::string* error) {
    const std::string number(companyNo);
    GError* failure = nullptr;
    // False without an error means there was nothing to remove.
    secret_password_clear_sync(&schema().schema, nullptr, &failure, "company", number.c_str(),
                               nullptr);
    return Check(failure, error);
}

}  // namespace invarro::platform::secret
