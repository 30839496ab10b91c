#include "record/AviWriter.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>

#include "support/AviReader.h"
#include "support/MemoryFile.h"
#include "support/TempFolder.h"

namespace vexa {
namespace {

using test::readAvi;

constexpr uint32_t fourcc(const char (&tag)[5]) {
  return uint32_t(tag[0]) | uint32_t(tag[1]) << 8 | uint32_t(tag[2]) << 16 | uint32_t(tag[3]) << 24;
}

class AviWriterTest : public testing::Test {
 protected:
  // A writer on the in-memory disk with its file opened and the header written.
  AviWriter& open(AviLimits limits = {}, uint32_t kind = kAviKindJpeg) {
    writer_.emplace(std::make_unique<test::MemoryFile>(disk), clock, limits);
    EXPECT_EQ(writer_->Open("a.avi", kind, 30, 640, 480), kAviWritten);
    EXPECT_EQ(writer_->WriteHeader(), kAviWritten);
    return *writer_;
  }
  const std::vector<uint8_t>& file() { return disk.files["a.avi"].bytes; }

  test::MemoryDisk disk;
  platform::ManualClock clock;
  std::optional<AviWriter> writer_;
};

TEST_F(AviWriterTest, HeaderBytesAtOpen) {
  open({}, kAviKindH264);
  // The header's words in file order: RIFF, hdrl with avih, strl with strh and strf, movi.
  // clang-format off
  const uint32_t words[] = {
      fourcc("RIFF"), 204, fourcc("AVI "), fourcc("LIST"), 192, fourcc("hdrl"), fourcc("avih"), 56,
      33333, 0, 0, 0x10 /* has index */, 0, 0, 1 /* stream */, 0, 640, 480, 0, 0, 0, 0,
      fourcc("LIST"), 116, fourcc("strl"), fourcc("strh"), 56, fourcc("vids"), fourcc("H264"),
      0, 0, 0, 1 /* scale */, 30, 0, 0, 0, 10000 /* quality */, 0, 0, 480u << 16 | 640,
      fourcc("strf"), 40, 40, 640, 480, 24u << 16 | 1, fourcc("H264"), 640 * 3 * 480, 0, 0, 0, 0,
      fourcc("LIST"), 4, fourcc("movi")};
  // clang-format on
  static_assert(sizeof words == AviWriter::kHeaderBytes);
  std::vector<uint8_t> expected(sizeof words);
  std::memcpy(expected.data(), words, sizeof words);  // little-endian host
  EXPECT_EQ(file(), expected);
}

TEST_F(AviWriterTest, ChunksAreRoundedPaddedAndIndexed) {
  AviWriter& w = open();
  const std::pair<size_t, bool> frames[] = {{0, true}, {1, false}, {4, true}, {5, false}};
  for (const auto& [length, key] : frames) {
    ASSERT_EQ(w.WriteFrame(std::vector<uint8_t>(length, 0xAB), key), kAviWritten);
  }
  ASSERT_EQ(w.Close(), kAviWritten);
  const test::AviFile avi = readAvi(file());
  EXPECT_EQ(avi.problem, "");
  EXPECT_EQ(avi.riffSize + 8, file().size());
  const uint8_t x = 0xAB;
  EXPECT_EQ(avi.chunks, (std::vector<std::vector<uint8_t>>{
                            {}, {x, 0, 0, 0}, {x, x, x, x}, {x, x, x, x, x, 0, 0, 0}}));
  EXPECT_EQ(avi.flags, (std::vector<uint32_t>{0x10, 0, 0x10, 0}));
}

TEST_F(AviWriterTest, RefusesAtTheFrameAndRiffLimits) {
  const uint8_t frame[8] = {};
  // The header's 224 bytes, then 8 + 8 + 16 for each 8-byte frame.
  const std::pair<AviLimits, int32_t> cases[] = {{{1, 1u << 20}, kAviIndexFull},
                                                 {{10, 224 + 2 * 32 + 1}, kAviWritten},
                                                 {{10, 224 + 2 * 32}, kAviFileFull}};
  for (const auto& [limits, second] : cases) {
    AviWriter& w = open(limits);
    ASSERT_EQ(w.WriteFrame(frame, true), kAviWritten);
    EXPECT_EQ(w.WriteFrame(frame, true), second);
    EXPECT_EQ(w.frameCount(), second == kAviWritten ? 2u : 1u);
    EXPECT_TRUE(w.isOpen());
  }
}

// Read through a descriptor of its own while the writer holds the file open.
TEST_F(AviWriterTest, CheckpointsMakeTheOpenFileReadable) {
  test::TempFolder temp;
  AviWriter w(std::make_unique<platform::PosixFile>(), clock);
  ASSERT_EQ(w.Open(temp.file("c.avi"), kAviKindJpeg, 25, 0, 0), kAviWritten);
  ASSERT_EQ(w.WriteHeader(), kAviWritten);
  const auto readNow = [&] {
    test::AviFile avi = readAvi(temp.read("c.avi"));
    EXPECT_EQ(avi.problem, "");
    return avi;
  };
  // The first frame, one just before the period (still buffered, and the header says so), one at
  // it; the picture size changes after the first.
  const std::pair<uint32_t, uint32_t> steps[] = {
      {0, 1}, {AviWriter::kCheckpointPeriodMs - 1, 1}, {1, 3}};
  test::AviFile avi;
  for (const auto& [advance, frames] : steps) {
    clock.advance(advance);
    ASSERT_EQ(w.WriteFrame(std::vector<uint8_t>(6, 1), false), kAviWritten);
    avi = readNow();
    EXPECT_EQ(avi.totalFrames, frames);
    w.SetSize(320, 240);
  }
  EXPECT_EQ(std::tuple(avi.width, avi.height, avi.hasIndex), std::tuple(320u, 240u, false));
  ASSERT_EQ(w.Close(), kAviWritten);
  avi = readNow();
  EXPECT_EQ(std::pair(avi.totalFrames, avi.hasIndex), std::pair(3u, true));
}

// The disk fills at various points: the file keeps whole chunks, its totals and, when it still
// fits, an index for them.
TEST_F(AviWriterTest, AFullDiskLeavesWholeChunks) {
  const uint8_t frame[100] = {7};
  const uint64_t header = AviWriter::kHeaderBytes;
  const struct {
    uint64_t fileBytes;
    uint32_t framesKept;
    bool index;
  } cases[] = {
      {header + 108 + 20, 1, false},          // in frame 2, no room for an index after frame 1
      {header + 108 + 8 + 16, 1, true},       // in frame 2, room for frame 1's index
      {header + 3 * 108 + 8 + 40, 3, false},  // the index at close
  };
  for (const auto& c : cases) {
    disk.maxFileBytes = c.fileBytes;
    AviWriter& w = open();
    int32_t result = kAviWritten;
    for (int i = 0; i < 3 && result == kAviWritten; ++i) result = w.WriteFrame(frame, true);
    if (result == kAviWritten) result = w.Close();
    EXPECT_EQ(std::pair(result, w.lastError()), std::pair(kAviWriteFailed, ENOSPC));
    EXPECT_FALSE(w.isOpen());
    const test::AviFile avi = readAvi(file());
    EXPECT_EQ(avi.problem, "") << c.fileBytes;
    EXPECT_EQ(std::tuple(avi.totalFrames, avi.hasIndex, avi.riffSize + 8u),
              std::tuple(c.framesKept, c.index, file().size()));
  }
}

// Past RLIMIT_FSIZE the kernel cuts a write short and raises SIGXFSZ, which the viewer ignores;
// the next write fails with EFBIG like any other.
TEST(AviWriterFiles, AFileSizeLimitIsAFailedWrite) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // sanitizers run threads of their own
  test::TempFolder temp;
  const auto writeBeyondTheLimit = [&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 * 1024, 64 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    platform::ManualClock clock;
    AviWriter w(std::make_unique<platform::PosixFile>(4096), clock);
    w.Open(temp.file("big.avi"), kAviKindJpeg, 30, 8, 8);
    w.WriteHeader();
    int32_t result = kAviWritten;
    while (result == kAviWritten) result = w.WriteFrame(std::vector<uint8_t>(10000, 1), true);
    const test::AviFile avi = readAvi(temp.read("big.avi"));
    const bool kept = avi.problem.empty() && avi.totalFrames == 6;
    std::_Exit(result == kAviWriteFailed && w.lastError() == EFBIG && kept ? 0 : 1);
  };
  EXPECT_EXIT(writeBeyondTheLimit(), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace vexa
