// Arbitrary bytes as the Transport value of a SETUP answer for a multicast stream.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/rtsp/MulticastTransport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view value(reinterpret_cast<const char*>(data), size);
  if (const auto transport = vexa::rtsp::readMulticastTransport(value)) {
    in_addr group{};
    if (inet_pton(AF_INET, transport->group.c_str(), &group) != 1 || transport->rtpPort == 0 ||
        transport->rtcpPort == 0) {
      __builtin_trap();
    }
  }
  return 0;
}
