// The command channel as a page drives it: requests one after another, each on a new connection,
// polled to their end, and the longest call the user-interface thread made; or the time a handler
// takes to go away while its name look-up hangs. Figures go to stdout as name=value lines; the
// driver (command_channel.py) measures the CPU from outside and sets them beside curl's.
//
// usage: bench_command_channel requests PORT TARGET COUNT [USER PASS]
//        bench_command_channel hung-lookup ROUNDS
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "platform/Thread.h"
#include "protocol/http/IPCameraHttpCmdHandler.h"
#include "support/HungResolver.h"

namespace {

using Clock = std::chrono::steady_clock;
using vexa::IPCamera_Http_Cmd_Handler;

constexpr int32_t kTimeoutMs = 5000;
constexpr int kOk = 200;
// How often the driver polls the status; a page polls far less often.
constexpr auto kPollInterval = std::chrono::microseconds(50);

double microsecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Runs call, keeping the longest time any call took.
class LongestCall {
 public:
  template <typename Call>
  auto operator()(Call&& call) {
    const Clock::time_point start = Clock::now();
    auto result = call();
    longestUs_ = std::max(longestUs_, microsecondsSince(start));
    return result;
  }
  double longestUs() const { return longestUs_; }

 private:
  double longestUs_ = 0;
};

int runRequests(uint16_t port, const std::string& target, int count, const std::string& user,
                const std::string& pass) {
  IPCamera_Http_Cmd_Handler handler;
  LongestCall request, getStatus, getResponse;
  int failures = 0;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < count; ++i) {
    if (!request(
            [&] { return handler.Request("127.0.0.1", port, target, user, pass, kTimeoutMs); })) {
      ++failures;
      continue;
    }
    int32_t status = 0;
    while ((status = getStatus([&] { return handler.GetStatus(); })) == 0) {
      std::this_thread::sleep_for(kPollInterval);
    }
    const std::string answer = getResponse([&] { return handler.GetResponse(); });
    if (status != kOk || answer.empty()) ++failures;
  }
  const double seconds = microsecondsSince(start) / 1e6;
  std::printf("requests=%d\nfailures=%d\nwall_s=%.4f\n", count, failures, seconds);
  std::printf("longest_request_us=%.1f\nlongest_get_status_us=%.1f\nlongest_get_response_us=%.1f\n",
              request.longestUs(), getStatus.longestUs(), getResponse.longestUs());
  return failures == 0 ? 0 : 1;
}

// A handler whose look-up hangs is destroyed; the longest destruction of the rounds.
int runHungLookUp(int rounds) {
  double longestMs = 0;
  for (int round = 0; round < rounds; ++round) {
    vexa::test::HungResolver hung;
    auto handler = std::make_unique<IPCamera_Http_Cmd_Handler>(nullptr, hung.resolver());
    if (!handler->Request("camera.invalid", IPCamera_Http_Cmd_Handler::kDefaultPort, "/", "", "",
                          kTimeoutMs) ||
        !hung.waitEntered()) {
      return 1;
    }
    const Clock::time_point start = Clock::now();
    handler.reset();
    longestMs = std::max(longestMs, microsecondsSince(start) / 1e3);
    hung.release();
    if (!hung.allLetGo()) return 1;
  }
  std::printf("rounds=%d\nlongest_destruction_ms=%.1f\n", rounds, longestMs);
  return 0;
}

int usage() {
  std::fprintf(stderr,
               "usage: bench_command_channel requests PORT TARGET COUNT [USER PASS]\n"
               "       bench_command_channel hung-lookup ROUNDS\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view mode = argc > 1 ? argv[1] : "";
  if (mode == "requests" && (argc == 5 || argc == 7)) {
    return runRequests(uint16_t(std::atoi(argv[2])), argv[3], std::atoi(argv[4]),
                       argc == 7 ? argv[5] : "", argc == 7 ? argv[6] : "");
  }
  if (mode == "hung-lookup" && argc == 3) return runHungLookUp(std::atoi(argv[2]));
  return usage();
}
