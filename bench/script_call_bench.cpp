// One scripted round trip, a request line in and its answer line out, through the script session
// over the real control with its window; beside it the same member called directly, and the floor:
// the JSON library parsing the same request and writing an answer of the same size.
#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "control/CVexaActiveXCtrl.h"
#include "platform/Dialogs.h"
#include "platform/UiLoop.h"
#include "script/ScriptSession.h"

namespace {

using namespace vexa;

constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 480;

constexpr std::array<std::string_view, 3> kRequests = {
    R"({"call":"GetAttrStr","args":["VIEWER_VERSION"]})",
    R"({"call":"Sync"})",
    R"({"call":"SetAttrInt","args":["EN_PT",1]})",
};
constexpr std::array<const char*, 3> kLabels = {"GetAttrStr", "Sync", "SetAttrInt"};

// The control as a host makes it, with its video window.
struct HostedControl {
  platform::StderrDialogs dialogs;
  platform::UiLoop loop;
  CVexaActiveXCtrl control{ControlHost{dialogs, loop}};
  HostedControl() { control.createWindow(kWindowWidth, kWindowHeight); }
};

HostedControl& hosted() {
  static HostedControl instance;
  return instance;
}

void BM_ScriptRoundTrip(benchmark::State& state) {
  const std::string_view request = kRequests[size_t(state.range(0))];
  ScriptSession session(hosted().control);
  for (auto _ : state) {
    ScriptAnswer answer = session.answer(request);
    benchmark::DoNotOptimize(answer.line.data());
  }
  state.SetLabel(kLabels[size_t(state.range(0))]);
}
BENCHMARK(BM_ScriptRoundTrip)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

void BM_DirectCall(benchmark::State& state) {
  CVexaActiveXCtrl& control = hosted().control;
  const std::string version = "VIEWER_VERSION", panTilt = "EN_PT";
  for (auto _ : state) {
    switch (state.range(0)) {
      case 0: benchmark::DoNotOptimize(control.GetAttrStr(version)); break;
      case 1: benchmark::DoNotOptimize(control.GetSync()); break;
      default: benchmark::DoNotOptimize(control.SetAttrInt(panTilt, 1)); break;
    }
  }
  state.SetLabel(kLabels[size_t(state.range(0))]);
}
BENCHMARK(BM_DirectCall)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

void BM_JsonFloor(benchmark::State& state) {
  const std::string_view request = kRequests[size_t(state.range(0))];
  ScriptSession session(hosted().control);
  const nlohmann::json answer = nlohmann::json::parse(session.answer(request).line);
  for (auto _ : state) {
    nlohmann::json parsed = nlohmann::json::parse(request);
    benchmark::DoNotOptimize(parsed);
    std::string line = answer.dump();
    benchmark::DoNotOptimize(line.data());
  }
  state.SetLabel(kLabels[size_t(state.range(0))]);
}
BENCHMARK(BM_JsonFloor)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
