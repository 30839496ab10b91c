#include "camera/HttpRequest.h"

#include <gtest/gtest.h>

#include "common/Base64.h"

namespace vexa::camera {
namespace {

TEST(HttpRequest, ParsesRequestLineAndHeaders) {
  const auto request = parseHttpRequest(
      "GET /video.cgi?x=1 HTTP/1.1\r\nUser-Agent: Oxbel2 Player\r\ncache-control:  no-cache \r\n"
      "not a header\r\n\r\nIgnored: body\r\n");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->method, "GET");
  EXPECT_EQ(request->target, "/video.cgi?x=1");
  EXPECT_EQ(request->version, "HTTP/1.1");
  EXPECT_EQ(request->header("user-agent"), "Oxbel2 Player");
  EXPECT_EQ(request->header("Cache-Control"), "no-cache");
  EXPECT_FALSE(request->header("Ignored"));
  EXPECT_EQ(request->headers.size(), 2u);
}

TEST(HttpRequest, AcceptsBareLineFeeds) {
  const auto request = parseHttpRequest("GET / HTTP/1.0\nHost: camera\n\n");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->header("Host"), "camera");
}

TEST(HttpRequest, RejectsIncompleteRequestLines) {
  EXPECT_FALSE(parseHttpRequest(""));
  EXPECT_FALSE(parseHttpRequest("GET\r\n\r\n"));
  EXPECT_FALSE(parseHttpRequest("GET /\r\n\r\n"));
  EXPECT_FALSE(parseHttpRequest(" / HTTP/1.1\r\n\r\n"));
}

std::string basic(const std::string& userColonPassword) {
  return "Authorization: Basic " + base64::encode(userColonPassword) + "\r\n";
}

TEST(BasicAuthorisation, AllowsOnlyTheExactPairOnceAnythingIsConfigured) {
  const Credentials none{}, admin{"admin", "pa ss:word"}, noPassword{"viewer", ""},
      passwordOnly{"", "secret"};
  const struct {
    const Credentials& credentials;
    std::string header;
    bool allowed;
  } cases[] = {
      {none, "", true},
      {none, basic("anyone:anything"), true},
      {admin, basic("admin:pa ss:word"), true},
      {admin, "authorization: basic " + base64::encode("admin:pa ss:word") + "\r\n", true},
      {admin, "", false},
      {admin, basic("admin:pa ss"), false},
      {admin, basic("Admin:pa ss:word"), false},
      {admin, basic("admin:pa ss:word "), false},
      {admin, "Authorization: Digest " + base64::encode("admin:pa ss:word") + "\r\n", false},
      {admin, "Authorization: Basic\r\n", false},
      {noPassword, basic("viewer:"), true},
      {noPassword, basic("viewer"), false},  // the colon is still needed
      {passwordOnly, "", false},
      {passwordOnly, basic(":secret"), true},
  };
  for (const auto& c : cases) {
    const auto request = parseHttpRequest("GET / HTTP/1.1\r\n" + c.header + "\r\n");
    ASSERT_TRUE(request);
    EXPECT_EQ(isAuthorised(*request, c.credentials), c.allowed)
        << c.credentials.user << ":" << c.credentials.password << " with " << c.header;
  }
}

}  // namespace
}  // namespace vexa::camera
