#include "control/PtzHttpChannel.h"

#include "protocol/http/IPCameraHttpCmdHandler.h"

namespace vexa {
namespace {

class PtzHttpChannel final : public PtzChannel {
 public:
  bool Request(const std::string& host, uint16_t port, const std::string& target,
               const std::string& user, const std::string& pass, int32_t timeoutMs) override {
    return handler_.Request(host, port, target, user, pass, timeoutMs);
  }
  int32_t GetStatus() const override { return handler_.GetStatus(); }
  std::string GetResponse() const override { return handler_.GetResponse(); }

 private:
  IPCamera_Http_Cmd_Handler handler_;
};

}  // namespace

std::unique_ptr<PtzChannel> makePtzHttpChannel() {
  return std::make_unique<PtzHttpChannel>();
}

}  // namespace vexa
