// The UDP RTCP receiver's datagram step fed what arrives on its port, as its worker hands it
// over with the sender the receive named, while the media clock changes between datagrams. The
// reports it builds go nowhere: no socket is open.
//
// Input: records of a 16-bit big-endian length and the datagram; the low bit of each datagram's
// last byte chooses the media clock it is read with.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "net/DatagramWorker.h"
#include "platform/Clock.h"
#include "platform/Endpoint.h"
#include "protocol/rtcp/IPCameraRTCP.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;
constexpr uint16_t kCameraRtcpPort = 6971;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vexa::platform::ManualClock clock;
  uint32_t asked = 0;
  vexa::ReceptionFigures figures{};
  // The receiver's counters as the media thread moves them on.
  vexa::IPCameraRTCP rtcp([&] {
    ++asked;
    figures.lostPackets += asked % 3;
    figures.lastSequence = uint16_t(figures.lastSequence + asked);
    return figures;
  }, clock);
  const vexa::platform::Endpoint sender = vexa::platform::Endpoint::ipv4(kLoopback, kCameraRtcpPort);
  uint32_t datagrams = 0;
  vexa::fuzz::forEachRecord({data, size}, size_t(vexa::DatagramWorker::kReceiveChunk),
                            [&](vexa::fuzz::Bytes datagram) {
    const bool video = !datagram.empty() && (datagram.back() & 1) != 0;
    rtcp.setMediaClock(video ? vexa::MediaClock::kVideo : vexa::MediaClock::kAudio);
    clock.advance(uint32_t(datagram.size()) * 7);
    rtcp.answerDatagram(datagram, sender);
    // Each datagram asks for the figures once; no report leaves without a socket.
    if (asked != ++datagrams || rtcp.reportsSent() != 0) __builtin_trap();
  });
  return 0;
}
