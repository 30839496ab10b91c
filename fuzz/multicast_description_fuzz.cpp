// A camera's two DESCRIBE answers, cut into reads of a chosen size, through the multicast
// handler's read step, line parser and apply step; the parser also reads the raw bytes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "FuzzSupport.h"
#include "protocol/rtsp/MulticastDescribe.h"
#include "protocol/rtsp/MulticastDescription.h"

namespace {

constexpr uint32_t kModels[] = {6, 7, 13, 18};
// Both answers at their cap, each with the line the reading adds and a session connection line.
constexpr size_t kMaxDescriptionText = 2 * vexa::rtsp::kMaxMulticastAnswerBytes + 1024;

void parseAndApply(std::string_view text, uint32_t model) {
  vexa::MulticastDescription description;
  description.readConnection = 1;
  vexa::parseMulticastDescription(text, description);
  vexa::StreamConfig config;
  config.model = model;
  vexa::applyMulticastDescription(description, config);
  if (config.spsLength > vexa::kParameterSetSize || config.ppsLength > vexa::kParameterSetSize ||
      config.audioCodec < vexa::kAudioCodecPcma || config.audioCodec > vexa::kAudioCodecG726_40 ||
      description.groupAddress.size() > text.size()) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint32_t model = kModels[data[0] % std::size(kModels)];
  const size_t readBytes = vexa::fuzz::readSize(data[1]);
  const vexa::fuzz::Bytes input(data + 2, size - 2);
  vexa::rtsp::MulticastDescribeReading reading(model);
  bool finished = false;
  vexa::fuzz::forEachRead(input, readBytes, [&](vexa::fuzz::Bytes read) {
    const auto action =
        reading.onReceived({reinterpret_cast<const char*>(read.data()), read.size()});
    finished = action == vexa::rtsp::MulticastReadAction::kFinish;
    return !finished && action != vexa::rtsp::MulticastReadAction::kGiveUp;
  });
  if (reading.descriptionText().size() > kMaxDescriptionText) __builtin_trap();
  if (finished != (reading.step() == vexa::rtsp::MulticastDescribeStep::kDone)) __builtin_trap();
  if (finished) parseAndApply(reading.descriptionText(), model);
  parseAndApply({reinterpret_cast<const char*>(input.data()), input.size()}, model);
  return 0;
}
