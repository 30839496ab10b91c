#include "camera/ServerAuthenticator.h"

#include <gtest/gtest.h>

#include "common/TextFields.h"

namespace vexa::camera {
namespace {

// RFC 2617 section 3.5: the client's answer to the challenge with this nonce, for GET of
// /dir/index.html by Mufasa with the password "Circle Of Life"; the opaque value follows.
constexpr std::string_view kNonce = "dcd98b7102dd2f0e8b11d0f600bfb0c093";
constexpr std::string_view kAnswer =
    "Digest username=\"Mufasa\", realm=\"testrealm@host.com\", "
    "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", uri=\"/dir/index.html\", qop=auth, "
    "nc=00000001, cnonce=\"0a4f113b\", response=\"6629fae49393a05397450978507c4ef1\", opaque=";

TEST(ServerAuthenticator, DigestTakesACorrectAnswerOnceAndCallsAnExpiredNonceStale) {
  platform::ManualClock clock;
  int issued = 0;
  ServerAuthenticator digest({"Mufasa", "Circle Of Life", AuthScheme::Digest, 60}, &clock,
                             "testrealm@host.com",
                             [&] { return ++issued == 1 ? std::string(kNonce) : "fresh"; });
  const std::string challenge = digest.refusal("GET", "/dir/index.html", std::nullopt).value_or("");
  const std::string opening =
      "WWW-Authenticate: Digest realm=\"testrealm@host.com\", qop=\"auth\", algorithm=MD5, "
      "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", opaque=\"";
  ASSERT_EQ(challenge.substr(0, opening.size()), opening);
  EXPECT_TRUE(challenge.ends_with("\"\r\n")) << challenge;
  const std::string answer =
      std::string(kAnswer) + "\"" + extractField(challenge, "opaque", '"', '"') + "\"";
  std::string wrong = answer;
  wrong.replace(wrong.find("6629"), 4, "6630");

  // A wrong password, an answer for another resource, then the right one, and it replayed.
  for (const auto& [uri, authorization, refused] : {std::tuple{"/dir/index.html", wrong, true},
                                                    {"/dir/other.html", answer, true},
                                                    {"/dir/index.html", answer, false},
                                                    {"/dir/index.html", answer, true}}) {
    const auto refusal = digest.refusal("GET", uri, authorization);
    EXPECT_EQ(refusal.has_value(), refused) << uri << " " << authorization;
    EXPECT_EQ(refusal.value_or("").find("stale"), std::string::npos);
  }
  clock.advance(60 * 1000);
  const std::string stale = digest.refusal("GET", "/dir/index.html", answer).value_or("");
  EXPECT_NE(stale.find("nonce=\"fresh\", opaque=\""), std::string::npos) << stale;
  EXPECT_TRUE(stale.ends_with("\", stale=true\r\n")) << stale;
  EXPECT_EQ(digest.counts(), (AuthCounts{5, 1, 1}));
}

}  // namespace
}  // namespace vexa::camera
