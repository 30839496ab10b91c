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

class BasicAuthorisation : public ::testing::Test {
 protected:
  static bool allows(const Credentials& credentials, const std::string& headerLine) {
    const auto request = parseHttpRequest("GET / HTTP/1.1\r\n" + headerLine + "\r\n");
    return request && isAuthorised(*request, credentials);
  }
  static std::string basic(const std::string& userColonPassword) {
    return "Authorization: Basic " + base64::encode(userColonPassword) + "\r\n";
  }
  const Credentials admin_{"admin", "pa ss:word"};
};

TEST_F(BasicAuthorisation, AllowsEveryoneWhenNothingIsConfigured) {
  EXPECT_TRUE(allows({}, ""));
  EXPECT_TRUE(allows({}, basic("anyone:anything")));
}

TEST_F(BasicAuthorisation, AllowsOnlyTheExactPair) {
  EXPECT_TRUE(allows(admin_, basic("admin:pa ss:word")));
  EXPECT_TRUE(
      allows(admin_, "authorization: basic " + base64::encode("admin:pa ss:word") + "\r\n"));
  EXPECT_FALSE(allows(admin_, ""));
  EXPECT_FALSE(allows(admin_, basic("admin:pa ss")));
  EXPECT_FALSE(allows(admin_, basic("Admin:pa ss:word")));
  EXPECT_FALSE(allows(admin_, basic("admin:pa ss:word ")));
  EXPECT_FALSE(
      allows(admin_, "Authorization: Digest " + base64::encode("admin:pa ss:word") + "\r\n"));
  EXPECT_FALSE(allows(admin_, "Authorization: Basic\r\n"));
}

TEST_F(BasicAuthorisation, UserWithEmptyPasswordStillNeedsTheColon) {
  const Credentials user{"viewer", ""};
  EXPECT_TRUE(allows(user, basic("viewer:")));
  EXPECT_FALSE(allows(user, basic("viewer")));
}

TEST_F(BasicAuthorisation, PasswordAloneIsEnoughToRequireIt) {
  const Credentials password{"", "secret"};
  EXPECT_FALSE(allows(password, ""));
  EXPECT_TRUE(allows(password, basic(":secret")));
}

}  // namespace
}  // namespace vexa::camera
