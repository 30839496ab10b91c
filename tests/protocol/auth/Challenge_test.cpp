#include "protocol/auth/Challenge.h"

#include <gtest/gtest.h>

namespace vexa::auth {
namespace {

// One line per challenge list: the scheme as written, then the fields that were read.
std::string summary(const std::vector<Challenge>& challenges) {
  std::string text;
  for (const Challenge& c : challenges) {
    if (!text.empty()) text += " | ";
    text += c.schemeName;
    if (c.scheme == Scheme::kOther) text += "(other)";
    for (const auto& [name, value] : {std::pair{"realm", &c.realm},
                                      {"nonce", &c.nonce},
                                      {"opaque", &c.opaque},
                                      {"algorithm", &c.algorithm}}) {
      if (!value->empty()) text += std::string(" ") + name + "=" + *value;
    }
    if (c.qopGiven) text += " qop=" + c.qop + (c.qopAuth ? "(auth)" : "");
    if (c.stale) text += " stale";
  }
  return text;
}

TEST(ChallengeReader, ReadsTrickyHeaders) {
  const struct {
    const char* head;
    const char* expected;
  } kCases[] = {
      // Quoted commas and backslash escapes stay inside their value.
      {"WWW-Authenticate: Digest realm=\"a, \\\"b\\\" \\\\c\", nonce=\"n,1\", "
       "qop=\"auth-int, auth\"\r\n",
       "Digest realm=a, \"b\" \\c nonce=n,1 qop=auth-int, auth(auth)"},
      // Several headers, names in any case, LF-only lines, no blank after the colon.
      {"www-authenticate: Basic realm=\"x\"\nWWW-AUTHENTICATE:Digest nonce=abc\n",
       "Basic realm=x | Digest nonce=abc"},
      // Several challenges in one header, blanks around "=" and ",", a token68 credential.
      {"WWW-Authenticate: Negotiate YII+/w==, Digest realm = \"r\" , nonce = n ,stale=TRUE, "
       "algorithm=SHA-256 ,qop=auth-int\r\n",
       "Negotiate(other) | Digest realm=r nonce=n algorithm=SHA-256 qop=auth-int stale"},
      // A folded continuation line belongs to the header before it.
      {"WWW-Authenticate: Digest realm=\"r\",\r\n  nonce=\"n\"\r\n", "Digest realm=r nonce=n"},
      // Only a header at a line start counts, and only before the empty line ending the head.
      {"RTSP/1.0 401 WWW-Authenticate: Basic\r\nX-Note: WWW-Authenticate: Basic\r\n"
       "WWW-Authenticate-Info: Basic\r\n\r\nWWW-Authenticate: Basic\r\n",
       ""},
      // Malformed pieces are skipped; what follows them is still read.
      {"WWW-Authenticate: realm=orphan, Digest nonce=\"n\" junk, ==, \"x,y\", realm=r, "
       "stale=\"true\"\r\n",
       "Digest realm=r stale"},
      {"WWW-Authenticate: Digest nonce=\"never closed, realm=r\r\n",
       "Digest nonce=never closed, realm=r"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(summary(readChallenges(c.head)), c.expected) << c.head;
  }
}

TEST(ChallengeReader, BoundsWhatAHostileAnswerCanAsk) {
  std::string manyHeaders;
  for (int i = 0; i < 100; ++i) manyHeaders += "WWW-Authenticate: Basic\r\n";
  EXPECT_EQ(readChallenges(manyHeaders).size(), kMaxChallengeHeaders);

  std::string manyChallenges = "WWW-Authenticate: Basic";
  for (int i = 0; i < 100; ++i) manyChallenges += ", Basic";
  EXPECT_EQ(readChallenges(manyChallenges).size(), kMaxChallenges);

  // Too long to be honest: dropped whole, so no nonce is ever read cut short.
  const std::string longNonce(kMaxChallengeHeaderBytes, 'n');
  EXPECT_EQ(summary(readChallenges("WWW-Authenticate: Digest nonce=" + longNonce +
                                   "\r\nWWW-Authenticate: Basic\r\n")),
            "Basic");
  EXPECT_EQ(summary(readChallenges("WWW-Authenticate: Digest\r\n " + longNonce +
                                   "\r\n more\r\nWWW-Authenticate: Basic\r\n")),
            "Basic");
}

}  // namespace
}  // namespace vexa::auth
