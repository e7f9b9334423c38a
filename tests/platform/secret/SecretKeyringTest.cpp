// The libsecret keyring where no secret service answers: it says so, and every operation
// fails with a reason instead of hanging or pretending to have stored the secret.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/secret/SecretKeyring.h"

namespace invarro::platform::secret {
namespace {

TEST(SecretKeyring, WithoutASessionBusNothingIsStoredAndTheReasonIsGiven) {
    // A bus address that leads nowhere: no desktop session, no keyring.
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/invarro-test-bus", 1);
    SecretKeyring keyring;
    EXPECT_FALSE(keyring.available());
    EXPECT_FALSE(keyring.available());  // asked once, answered the same

    std::string error;
    EXPECT_FALSE(keyring.store("1", "s3cret", &error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(keyring.lookup("1", &error).has_value());
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(keyring.erase("1", &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace invarro::platform::secret
