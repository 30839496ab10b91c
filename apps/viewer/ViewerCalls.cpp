#include "viewer/ViewerCalls.h"

#include <nlohmann/json.hpp>

#include "script/ScriptSession.h"

namespace vexa::viewer {

namespace {

using Json = nlohmann::ordered_json;
constexpr int kRefused = -1;

OptionCall call(const std::string& member, Json args, bool mayBeRefused = false) {
  Json request = {{"call", member}};
  if (!args.empty()) request["args"] = std::move(args);
  return {request.dump(), mayBeRefused};
}

}  // namespace

std::vector<OptionCall> startCalls(const ViewerOptions& options) {
  std::vector<OptionCall> calls = {call("Mute", {options.mute}, true)};
  if (!options.user.empty()) calls.push_back(call("SetAttrStr", {"USER", options.user}));
  if (!options.password.empty()) calls.push_back(call("SetAttrStr", {"PASS", options.password}));
  calls.push_back(call("SetAttrStr", {"DISPLAYMODE", options.displayMode}));
  if (!options.address.empty()) {
    calls.push_back(call("Play", {options.address, options.protocol}));
  }
  if (options.fullscreen) calls.push_back(call("FullScreen", Json::array()));
  if (options.talk) calls.push_back(call("Mic", {true}));
  return calls;
}

OptionCall snapshotCall(const std::string& folder, const std::string& fileName) {
  return call("JpegCapture", {folder, fileName});
}

OptionCall recordCall(const std::string& folder, const std::string& fileName) {
  return call("Record", {true, folder, fileName});
}

bool runOptionCalls(ScriptSession& session, const std::vector<OptionCall>& calls,
                    bool printCalls, std::ostream& out, std::ostream& err) {
  for (const OptionCall& option : calls) {
    if (printCalls) out << option.line << std::endl;
    const Json answer = Json::parse(session.answer(option.line).line, nullptr, false);
    const bool refused = !answer.is_object() || answer.contains("error") ||
                         answer.value("result", Json()) == Json(kRefused);
    if (refused && !option.mayBeRefused) {
      err << "vexa-viewer: refused: " << option.line << std::endl;
      return false;
    }
  }
  return true;
}

}  // namespace vexa::viewer
