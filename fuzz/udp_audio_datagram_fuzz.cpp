// The UDP audio receiver's datagram step fed what arrives on its port, with new session
// descriptions naming another codec between datagrams, into a sound device that plays into
// nothing.
//
// Input: one byte choosing the configured codec, then records of a 16-bit big-endian length and
// the datagram; a record whose first byte is 0xFF (a datagram too short for RTP) is a new
// description instead, naming the codec its second byte chooses.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "audio/AudioCodec.h"
#include "audio/UdpAudioReceiver.h"
#include "common/StreamConfig.h"
#include "net/DatagramWorker.h"
#include "platform/AudioOutput.h"

namespace {

constexpr uint8_t kDescriptionMark = 0xFF;
constexpr size_t kDescriptionSize = 2;

// StreamConfig numbering: -1 (G.726 of unknown rate) to 5.
int32_t configuredCodec(uint8_t choice) {
  return int32_t(choice % (vexa::kAudioCodecG726_40 + 2)) + vexa::kAudioCodecUnknownG726;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using vexa::audio::UdpAudioReceiver;
  if (size == 0) return 0;
  UdpAudioReceiver receiver(vexa::platform::nullAudioOutputFactory());
  int32_t codec = configuredCodec(data[0]);
  receiver.setConfiguredCodec(codec);
  uint64_t datagrams = 0;
  uint64_t bytes = 0;
  bool sessionBegun = false;
  vexa::fuzz::forEachRecord({data + 1, size - 1}, size_t(vexa::DatagramWorker::kReceiveChunk),
                            [&](vexa::fuzz::Bytes datagram) {
    if (datagram.size() == kDescriptionSize && datagram[0] == kDescriptionMark) {
      codec = configuredCodec(datagram[1]);
      receiver.setConfiguredCodec(codec);
      sessionBegun = false;
      return;
    }
    receiver.onDatagram(datagram);
    ++datagrams;
    bytes += datagram.size();
    sessionBegun = sessionBegun || !datagram.empty();
    // Every datagram is counted; the codec is the one the latest description named once a
    // datagram of its session came.
    if (receiver.packetsReceived() != datagrams || receiver.lostPackets() < 0 ||
        (sessionBegun && receiver.codec() != vexa::audio::codecIndexFromConfig(codec))) {
      __builtin_trap();
    }
  });
  if (receiver.takeReceivedBytes() != bytes) __builtin_trap();
  return 0;
}
