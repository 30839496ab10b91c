#include "script/ScriptSession.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

#include "support/RecordingControl.h"

namespace vexa {
namespace {

using nlohmann::json;

// The answer as the table writes it: an error's message only has to be there.
json comparable(const std::string& line) {
  json answer = json::parse(line);
  if (answer.contains("error")) {
    EXPECT_FALSE(answer["error"].value("message", "").empty()) << line;
    answer["error"].erase("message");
  }
  return answer;
}

// An id that makes the request levels deep, the request object being the first.
std::string nested(int levels) {
  return std::string(size_t(levels - 1), '[') + std::string(size_t(levels - 1), ']');
}

TEST(ScriptSession, AnswersEachRequestLineWithOneResultOrError) {
  const struct {
    std::string request;
    std::string answer;
    const char* call = "";  // what reached the control
    uint32_t waitMs = 0;
  } cases[] = {
      {R"({"call":"Play","args":["127.0.0.1:8554/h264",12]})", R"({"result":7})",
       "Play(127.0.0.1:8554/h264,12)"},
      {R"({"call":"FullScreen"})", R"({"result":7})", "FullScreen()"},
      {R"({"call":"AdjustMotion","args":[]})", R"({"result":null})", "AdjustMotion()"},
      {R"({"call":"GetAttrStr","args":["VIEWER_VERSION"]})", R"({"result":"1.16"})",
       "GetAttrStr(VIEWER_VERSION)"},
      {R"({"call":"Sync"})", R"({"result":7})", "GetSync()"},
      {R"({"call":"Sync","args":[3]})", R"({"result":null})", "SetSync(3)"},
      {R"({"call":"Mic","args":[2]})", R"({"result":7})", "Mic(true)"},
      {R"({"call":"Mute","args":[0]})", R"({"result":7})", "Mute(false)"},
      {R"({"call":"Record","args":[true,"/tmp","a.avi"]})", R"({"result":7})",
       "Record(true,/tmp,a.avi)"},
      {R"({"call":"SetClientMaskColor","args":[1,2,3,0.5]})", R"({"result":null})",
       "SetClientMaskColor(1,2,3,0.5)"},
      {R"({"call":"SetAttrInt","args":["K",-2147483648]})", R"({"result":7})",
       "SetAttrInt(K,-2147483648)"},
      {R"({"call":"SetAttrInt","args":["K",2147483647]})", R"({"result":7})",
       "SetAttrInt(K,2147483647)"},
      {R"({"id":"a","call":"Stop"})", R"({"result":7,"id":"a"})", "Stop()"},
      {R"({"id":[1,{"x":null}],"call":"Nope"})",
       R"({"error":{"code":"unknown-member"},"id":[1,{"x":null}]})"},
      {R"({"call":"play","args":["x",1]})", R"({"error":{"code":"unknown-member"}})"},
      {R"({"call":"Play","args":["x"]})", R"({"error":{"code":"argument-count"}})"},
      {R"({"call":"GetHTTPResponse","args":[""]})", R"({"error":{"code":"argument-count"}})"},
      {R"({"call":"Sync","args":[1,2]})", R"({"error":{"code":"argument-count"}})"},
      {R"({"call":"SetAttrInt","args":["K",2147483648]})",
       R"({"error":{"code":"argument-type","index":1,"expected":"I4"}})"},
      {R"({"call":"SetAttrInt","args":["K",1.5]})",
       R"({"error":{"code":"argument-type","index":1,"expected":"I4"}})"},
      {R"({"call":"Sync","args":["3"]})",
       R"({"error":{"code":"argument-type","index":0,"expected":"I4"}})"},
      {R"({"call":"Mic","args":["on"]})",
       R"({"error":{"code":"argument-type","index":0,"expected":"BOOL"}})"},
      {R"({"call":"SetClientMaskColor","args":[1,2,3,"x"]})",
       R"({"error":{"code":"argument-type","index":3,"expected":"R8"}})"},
      {R"({"call":"Start","args":[5],"id":9})",
       R"({"error":{"code":"argument-type","index":0,"expected":"BSTR"},"id":9})"},
      {"{\"call\":\"Start\",\"args\":[\"\xff\"]}", R"({"error":{"code":"bad-json"}})"},
      {R"({"call":)", R"({"error":{"code":"bad-json"}})"},
      {"", R"({"error":{"code":"bad-json"}})"},
      {R"({"call":"Stop","id":)" + nested(16) + "}", R"({"result":7,"id":)" + nested(16) + "}",
       "Stop()"},
      {R"({"call":"Stop","id":)" + nested(17) + "}", R"({"error":{"code":"bad-json"}})"},
      {"[1]", R"({"error":{"code":"not-an-object"}})"},
      {R"("Play")", R"({"error":{"code":"not-an-object"}})"},
      {"{}", R"({"error":{"code":"bad-request"}})"},
      {R"({"call":"Stop","wait":1,"id":2})", R"({"error":{"code":"bad-request"},"id":2})"},
      {R"({"call":5})", R"({"error":{"code":"bad-request"}})"},
      {R"({"call":"Stop","args":{}})", R"({"error":{"code":"bad-request"}})"},
      {std::string(kScriptLineMaxBytes + 1, ' '), R"({"error":{"code":"line-too-long"}})"},
      {R"({"wait":250,"id":1})", R"({"result":null,"id":1})", "", 250},
      {R"({"wait":0})", R"({"result":null})"},
      {R"({"wait":99999999999})", R"({"result":null})", "", kScriptMaxWaitMs},
      {R"({"wait":-1})", R"({"error":{"code":"argument-type","index":0,"expected":"I4"}})"},
      {R"({"wait":1.5})", R"({"error":{"code":"argument-type","index":0,"expected":"I4"}})"},
  };
  for (const auto& c : cases) {
    test::RecordingControl control;
    control.number = 7;
    control.text = "1.16";
    ScriptSession session(control);
    const ScriptAnswer answer = session.answer(c.request);
    const std::string shown = c.request.substr(0, 80);
    EXPECT_EQ(answer.line.find('\n'), std::string::npos) << shown;
    EXPECT_EQ(comparable(answer.line), json::parse(c.answer)) << shown << " -> " << answer.line;
    EXPECT_EQ(control.calls, *c.call ? std::vector<std::string>{c.call}
                                     : std::vector<std::string>{})
        << shown;
    EXPECT_EQ(answer.waitMs, c.waitMs) << shown;
  }
}

TEST(ScriptSession, OutStringsComeBackByNameWithCameraBytesReplaced) {
  test::RecordingControl control;
  control.number = 1;
  control.rtn = "HTTP/1.0 200 OK\r\n\xff";
  ScriptSession session(control);
  EXPECT_EQ(session.answer(R"({"call":"GetHTTPResponse","id":4})").line,
            "{\"result\":1,\"rtn\":\"HTTP/1.0 200 OK\\r\\n\xEF\xBF\xBD\",\"id\":4}");
}

}  // namespace
}  // namespace vexa
