// The command channel's answer reader fed what a camera might answer, in reads of varying size,
// then the close: it never holds more than its cap, and once it has decided, it stays decided.
//
// Input: one byte choosing the read size, then the camera's bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "protocol/http/HttpAnswerReader.h"

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
  return 0;
}
