#include "control/ScriptingPolicy.h"

#include <gtest/gtest.h>

namespace vexa {
namespace {

TEST(ScriptingPolicy, OriginsAreReadStrictlyWithTheirDefaultPorts) {
  const struct {
    const char* text;
    std::optional<ScriptOrigin> origin;
  } cases[] = {
      {"http://Camera.example", ScriptOrigin{"http", "camera.example", 80}},
      {"HTTPS://camera.example/", ScriptOrigin{"https", "camera.example", 443}},
      {"http://10.0.0.5:8080", ScriptOrigin{"http", "10.0.0.5", 8080}},
      {"http://[::1]:81", ScriptOrigin{"http", "::1", 81}},
      {"app://host:9", ScriptOrigin{"app", "host", 9}},
      {"app://host", std::nullopt},                 // no default port to fill in
      {"http://host:70000", std::nullopt},          // would wrap onto another port
      {"http://host:-5", std::nullopt},
      {"http://host:0", std::nullopt},
      {"http://host:", std::nullopt},
      {"http://host/page.html", std::nullopt},      // a page, not an origin
      {"http://user@host", std::nullopt},
      {"http://[::1", std::nullopt},
      {"http://[nonsense]", std::nullopt},
      {"http://", std::nullopt},
      {"null", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parseScriptOrigin(c.text), c.origin) << c.text;
}

TEST(ScriptingPolicy, OnlyLoopbackPagesUntilOthersAreAllowedExactly) {
  ScriptingPolicy policy;
  for (const char* local : {"http://127.0.0.1:8080", "https://localhost", "http://[::1]",
                            "http://127.2.3.4"}) {
    EXPECT_TRUE(policy.allows(local)) << local;
  }
  for (const char* remote : {"http://camera.example", "http://10.0.0.5", "file://localhost",
                             "http://127.0.0.1.evil.example", "null"}) {
    EXPECT_FALSE(policy.allows(remote)) << remote;
  }
  EXPECT_TRUE(policy.allow("http://Camera.example"));
  EXPECT_FALSE(policy.allow("http://camera.example/index.html"));
  EXPECT_TRUE(policy.allows("http://camera.example:80/"));
  EXPECT_FALSE(policy.allows("https://camera.example"));      // another scheme
  EXPECT_FALSE(policy.allows("http://camera.example:8080"));  // another port
  EXPECT_FALSE(policy.allows("http://www.camera.example"));   // another host
}

}  // namespace
}  // namespace vexa
