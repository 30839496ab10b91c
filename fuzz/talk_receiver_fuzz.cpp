// The camera's talk receiver fed datagrams as its socket would hand them, from the client that
// holds a session (on either of two ports, as a client that started over) and from an address
// that holds none.
//
// Input: one byte choosing the served codec, then records of a 16-bit big-endian length and a
// byte choosing the sender followed by the datagram.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "camera/TalkReceiver.h"

namespace {

using vexa::camera::AudioCodec;
using vexa::camera::Endpoint;

constexpr AudioCodec kCodecs[] = {AudioCodec::Pcmu,    AudioCodec::Pcma,    AudioCodec::G726_16,
                                  AudioCodec::G726_24, AudioCodec::G726_32, AudioCodec::G726_40};
constexpr uint32_t kClientAddress = 0x7F000001;    // 127.0.0.1
constexpr uint32_t kStrangerAddress = 0x7F000002;  // 127.0.0.2
constexpr uint16_t kFirstPort = 5000;

Endpoint senderOf(uint8_t choice) {
  const uint32_t address = (choice & 1) ? kStrangerAddress : kClientAddress;
  return Endpoint::ipv4(address, uint16_t(kFirstPort + ((choice >> 1) & 1)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using vexa::camera::TalkReceiver;
  if (size == 0) return 0;
  const AudioCodec codec = kCodecs[data[0] % std::size(kCodecs)];
  const Endpoint client = Endpoint::ipv4(kClientAddress, 0);
  TalkReceiver talk(codec, [&](const Endpoint& sender) { return sender.sameAddress(client); });
  uint64_t datagrams = 0;
  vexa::fuzz::forEachRecord({data + 1, size - 1}, TalkReceiver::kMaxDatagramBytes + 1,
                            [&](vexa::fuzz::Bytes record) {
                              if (record.empty()) return;
                              talk.onDatagram(record.subspan(1), senderOf(record[0]));
                              ++datagrams;
                            });
  // Every datagram is counted once; every packet taken in has its samples, at most the allowed
  // gap of silence before it, and its place in the sound.
  const vexa::camera::TalkCounts counts = talk.counts();
  if (counts.packets + counts.late + counts.runts + counts.foreignDatagrams != datagrams ||
      counts.gaps > counts.packets * TalkReceiver::kMaxGapPackets) {
    __builtin_trap();
  }
  const auto arrivals = talk.arrivals();
  const size_t samples = talk.pcm().size();
  if (arrivals.size() != counts.packets) __builtin_trap();
  for (size_t i = 0; i < arrivals.size(); ++i) {
    const size_t next = i + 1 < arrivals.size() ? arrivals[i + 1].sampleOffset : samples;
    if (arrivals[i].sampleOffset >= next) __builtin_trap();
  }
  if (counts.packets > 0 && !talk.sender()) __builtin_trap();
  return 0;
}
