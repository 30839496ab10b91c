#pragma once

// A camera command channel that records what the pan/tilt/zoom sender asks and answers as the
// test says.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/PtzSender.h"

namespace vexa::test {

struct PtzChannelLog {
  std::vector<std::string> targets;  // the query part of each request, after "?"
  std::string host, user, pass;
  uint16_t port = 0;
  int32_t timeoutMs = 0;
  bool running = false;
  // Requests end by themselves, with this status, at the first poll; else finish() ends them.
  bool autoFinish = true;
  int32_t status = 200;
  std::string response;

  void finish(int32_t withStatus, const std::string& withResponse = "") {
    running = false;
    status = withStatus;
    if (withStatus != -1) response = withResponse;  // a failed request leaves the old answer
  }
};

class FakePtzChannel final : public PtzChannel {
 public:
  explicit FakePtzChannel(PtzChannelLog& log) : log_(log) {}
  static std::unique_ptr<PtzChannel> into(PtzChannelLog& log) {
    return std::make_unique<FakePtzChannel>(log);
  }

  bool Request(const std::string& host, uint16_t port, const std::string& target,
               const std::string& user, const std::string& pass, int32_t timeoutMs) override {
    if (log_.running) return false;
    const std::string prefix = std::string(PtzSender::kCgi) + "?";
    log_.targets.push_back(target.starts_with(prefix) ? target.substr(prefix.size()) : target);
    log_.host = host;
    log_.port = port;
    log_.user = user;
    log_.pass = pass;
    log_.timeoutMs = timeoutMs;
    log_.running = true;
    return true;
  }
  int32_t GetStatus() const override {
    if (log_.running && log_.autoFinish) log_.running = false;
    return log_.running ? 0 : log_.status;
  }
  std::string GetResponse() const override { return log_.response; }

 private:
  PtzChannelLog& log_;
};

}  // namespace vexa::test
