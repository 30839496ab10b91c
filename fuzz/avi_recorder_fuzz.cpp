// The recorder on pictures as a camera might send them: JPEG pictures or H.264 units of any
// content, at any gaps, with stops and restarts between them, into files of a small size on a disk
// in memory (on some runs a disk that fills before a file is full). Every file it leaves must read
// back whole, with totals, chunks and index in agreement.
//
// Input: one byte of options (bit 0 H.264, bit 1 a disk that fills, bit 2 parameter sets in the
// description), then records of a gap byte (0xFF: stop and start again instead), a 16-bit
// big-endian length and the picture.
#include <cstddef>
#include <cstdint>

#include "record/AviRecorder.h"
#include "support/AviReader.h"
#include "support/MemoryFile.h"

namespace {

constexpr uint8_t kH264Option = 0x01;
constexpr uint8_t kFillingDiskOption = 0x02;
constexpr uint8_t kDescribedSetsOption = 0x04;
constexpr uint8_t kRestartGap = 0xFF;
constexpr uint64_t kFillingDiskBytes = 48 * 1024;
constexpr vexa::AviLimits kLimits{50, 64 * 1024};

void checkClosedFile(const std::string&, vexa::test::MemoryDisk::Stored& file) {
  if (!vexa::test::readAvi(file.bytes).problem.empty()) __builtin_trap();
  file.bytes = {};  // memory stays bounded however many files a run makes
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t options = data[0];
  const uint32_t kind = (options & kH264Option) ? vexa::kAviKindH264 : vexa::kAviKindJpeg;
  vexa::test::MemoryDisk disk;
  if (options & kFillingDiskOption) disk.maxFileBytes = kFillingDiskBytes;
  disk.onClose = checkClosedFile;
  vexa::platform::ManualClock clock(0xFFFF0000);  // the tick count wraps within a run
  int reports = 0;
  int recordings = 1;
  {
    vexa::AviRecorder recorder([&](const std::string&) { ++reports; }, clock,
                               std::make_unique<vexa::test::MemoryFile>(disk), kLimits);
    if (options & kDescribedSetsOption)
      recorder.describeStream({15, 64, 48, {0x67, 0x42}, {0x68, 0xCE}});
    recorder.RequestStart("f.avi", kind, options >> 3, -1, -1);
    size_t at = 1;
    while (at + 3 <= size) {
      const uint8_t gap = data[at];
      const size_t length = std::min(size_t(data[at + 1]) << 8 | data[at + 2], size - at - 3);
      at += 3;
      if (gap == kRestartGap) {
        ++recordings;
        recorder.RequestStop();
        recorder.RequestStart("g.avi", kind, options >> 3, 64, 48);
      }
      clock.advance(uint32_t(gap) * gap / 16);  // up to 4 s
      recorder.SetSize(int32_t(length % 97), 48);
      if (recorder.IsRecording()) recorder.AddFrame({data + at, length});
      at += length;
    }
    recorder.Close();
  }
  // One report at most for each recording: one begun at the start, one at each restart.
  if (reports > recordings) __builtin_trap();
  for (const auto& [path, file] : disk.files) {
    if (!file.closed) __builtin_trap();
  }
  return 0;
}
