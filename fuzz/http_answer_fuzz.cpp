// The command channel's answer reader fed what a camera might answer, in reads of varying size,
// then the close: it never holds more than its cap, and once it has decided, it stays decided. A
// completed answer then goes, as the answer to a position query, to the pan/tilt/zoom sender's
// zoom position reading.
//
// Input: one byte choosing the read size, then the camera's bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "display/PtzSender.h"
#include "protocol/http/HttpAnswerReader.h"
#include "support/FakePtzChannel.h"

namespace {

// The answer handed over as the command handler does: an unreadable status line is a failure.
void readPosition(const vexa::HttpAnswerReader& reader) {
  vexa::test::PtzChannelLog log;
  log.status = reader.statusCode() == 0 ? -1 : reader.statusCode();
  log.response = reader.answer();
  vexa::PtzSender sender(vexa::test::FakePtzChannel::into(log));
  sender.setStream("127.0.0.1", "jpeg");
  int reports = 0;
  sender.setZoomPositionSink([&](int position) {
    if (position < 0) __builtin_trap();
    ++reports;
  });
  sender.queryPosition();
  sender.step();
  // One answer, one report at most, and only from an answer that succeeded.
  const bool succeeded = log.status >= 200 && log.status <= 299;
  if (sender.busy() || reports > (succeeded ? 1 : 0)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  using State = vexa::HttpAnswerReader::State;
  vexa::HttpAnswerReader reader;
  State decided = State::kIncomplete;
  const auto check = [&](State state) {
    if (decided != State::kIncomplete && state != decided) __builtin_trap();
    if (reader.answer().size() > vexa::HttpAnswerReader::kMaxAnswerBytes) __builtin_trap();
    decided = state;
  };
  vexa::fuzz::forEachRead(
      {data + 1, size - 1}, vexa::fuzz::readSize(data[0]), [&](vexa::fuzz::Bytes read) {
        check(reader.feed({reinterpret_cast<const char*>(read.data()), read.size()}));
        return true;
      });
  check(reader.close());
  if (decided == State::kComplete) readPosition(reader);
  return 0;
}
