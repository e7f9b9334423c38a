// The small text formats of the OAuth sign-in, at their edges and with bad input.

#include "platform/OAuthText.h"

#include <gtest/gtest.h>

#include "platform/curl/CurlOAuth.h"

namespace invarro::platform {
namespace {

TEST(OAuthText, Base64BothAlphabetsRoundTripAndBrokenTextIsRefused) {
    // The RFC 4648 vectors, and bytes that differ between the two alphabets.
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(Base64(plain), encoded);
        EXPECT_EQ(FromBase64(encoded), plain);
    }
    const std::string high("\xfb\xff\xbf", 3);
    EXPECT_EQ(Base64(high), "+/+/");
    EXPECT_EQ(Base64(high, true), "-_-_");
    EXPECT_EQ(FromBase64("-_-_"), high);
    EXPECT_EQ(Base64("f", true), "Zg");  // no padding in the URL-safe form
    EXPECT_EQ(FromBase64("Zg"), "f");
    EXPECT_FALSE(FromBase64("Zm9v!"));
    EXPECT_FALSE(FromBase64("Z"));  // one character cannot be a byte
}

TEST(OAuthText, PkceChallengeIsTheKnownS256OfTheVerifier) {
    // The worked example of RFC 7636, appendix B.
    EXPECT_EQ(curl::PkceChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
              "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    const curl::PkceSecrets a = curl::MakePkceSecrets(), b = curl::MakePkceSecrets();
    EXPECT_EQ(a.verifier.size(), 43u);
    EXPECT_NE(a.verifier, b.verifier);
    EXPECT_NE(a.state, b.state);
    EXPECT_EQ(a.challenge, curl::PkceChallenge(a.verifier));
}

TEST(OAuthText, FormAndQueryEncodingAgree) {
    EXPECT_EQ(FormEncode("a b&c=d/é~"), "a%20b%26c%3Dd%2F%C3%A9~");
    EXPECT_EQ(FormBody({{"scope", "openid email"}, {"x", ""}}), "scope=openid%20email&x=");
    const auto q = ParseQuery("code=a%2Fb&state=x+y&empty&&error_description=%C3%A9");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->at("code"), "a/b");
    EXPECT_EQ(q->at("state"), "x y");
    EXPECT_EQ(q->at("empty"), "");
    EXPECT_EQ(q->at("error_description"), "é");
    EXPECT_FALSE(ParseQuery("code=%2"));
    EXPECT_FALSE(ParseQuery("code=%zz"));
}

TEST(OAuthText, JsonObjectsOfProvidersAreReadAndBrokenOnesRefused) {
    const auto m =
        ParseJsonObject(R"( {"access_token":"a\"b\\c","expires_in":3599,"ok":true,"n":null,)"
                        R"("nested":{"x":[1,2,{"y":"z"}]},"u":"\u00e9\ud83d\ude00"} )");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->at("access_token"), "a\"b\\c");
    EXPECT_EQ(m->at("expires_in"), "3599");
    EXPECT_EQ(m->at("ok"), "true");
    EXPECT_EQ(m->at("nested"), "");
    EXPECT_EQ(m->at("u"), "é\xF0\x9F\x98\x80");
    for (const char* bad : {"", "[]", "{", "{\"a\":}", "{\"a\":1,}", "{\"a\":\"x}", "{} x",
                            "<html>502 Bad Gateway</html>", "{\"a\":\"\\ud800\\u0041\"}"})
        EXPECT_FALSE(ParseJsonObject(bad)) << bad;
}

TEST(OAuthText, AccountComesFromTheIdTokensEmailElsePreferredUsername) {
    auto token = [](const std::string& claims) {
        return Base64("{\"alg\":\"RS256\"}", true) + "." + Base64(claims, true) + ".sig";
    };
    EXPECT_EQ(AccountOfIdToken(token(R"({"email":"a@b.test","preferred_username":"x@y.test"})")),
              "a@b.test");
    EXPECT_EQ(AccountOfIdToken(token(R"({"preferred_username":"x@y.test"})")), "x@y.test");
    // A user name that is not an address is no mail account.
    EXPECT_EQ(AccountOfIdToken(token(R"({"preferred_username":"jdoe"})")), "");
    EXPECT_EQ(AccountOfIdToken("not-a-jwt"), "");
    EXPECT_EQ(AccountOfIdToken("a.!!!.c"), "");
}

TEST(OAuthText, EndpointsMustBeSecureExceptOnTheLoopback) {
    for (const char* ok :
         {"https://login.microsoftonline.com/common/oauth2/v2.0/token", "HTTPS://Example.test",
          "http://127.0.0.1:8080/token", "http://localhost/x", "http://[::1]:9/"})
        EXPECT_EQ(EndpointProblem(ok), "") << ok;
    EXPECT_NE(EndpointProblem("http://login.example.test/token").find("not secure"),
              std::string::npos);
    // A loopback name inside another host's name is not the loopback.
    EXPECT_NE(EndpointProblem("http://127.0.0.1.evil.test/token"), "");
    EXPECT_NE(EndpointProblem("http://localhost@evil.test/"), "");
    EXPECT_NE(EndpointProblem("ftp://x.test/"), "");
    EXPECT_NE(EndpointProblem("https://"), "");
    EXPECT_NE(EndpointProblem("https://x.test/a b"), "");
}

TEST(OAuthText, Xoauth2RefusalIsReadFromTheChallenge) {
    const std::string json =
        R"({"status":"400","schemes":"Bearer","scope":"https://mail.google.com/"})";
    EXPECT_EQ(XOAuth2Refusal("334 " + Base64(json)),
              "status 400, schemes Bearer, scope https://mail.google.com/");
    EXPECT_EQ(XOAuth2Refusal("535 5.7.8 no"), "");
    EXPECT_EQ(XOAuth2Refusal("334 "), "");
    EXPECT_EQ(XOAuth2Refusal("334 " + Base64("{\"x\":1}")), "");
}

}  // namespace
}  // namespace invarro::platform
