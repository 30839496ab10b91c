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

using test::MemoryDisk;
using test::MemoryFile;
using test::readAvi;

class AviWriterTest : public testing::Test {
 protected:
  AviWriter& writer(AviLimits limits = {}) {
    writer_.emplace(std::make_unique<MemoryFile>(disk), clock, limits);
    return *writer_;
  }
  void open(AviWriter& w, uint32_t kind = kAviKindJpeg) {
    ASSERT_EQ(w.Open("a.avi", kind, 30, 640, 480), kAviWritten);
    ASSERT_EQ(w.WriteHeader(), kAviWritten);
  }
  const std::vector<uint8_t>& file() { return disk.bytes("a.avi"); }

  MemoryDisk disk;
  platform::ManualClock clock;
  std::optional<AviWriter> writer_;
};

TEST_F(AviWriterTest, HeaderBytesAtOpen) {
  AviWriter& w = writer();
  open(w, kAviKindH264);
  ASSERT_EQ(file().size(), AviWriter::kHeaderBytes);
  struct Field {
    size_t at;
    uint32_t value;
    const char* tag;
  };
  const Field fields[] = {{0, 0, "RIFF"},
                          {4, 204, nullptr},
                          {8, 0, "AVI "},
                          {12, 0, "LIST"},
                          {16, 192, nullptr},
                          {20, 0, "hdrl"},
                          {24, 0, "avih"},
                          {28, 56, nullptr},
                          {32, 33333, nullptr},  // us per frame
                          {44, 0x10, nullptr},   // has index
                          {56, 1, nullptr},
                          {64, 640, nullptr},
                          {68, 480, nullptr},  // streams, size
                          {88, 0, "LIST"},
                          {92, 116, nullptr},
                          {96, 0, "strl"},
                          {100, 0, "strh"},
                          {104, 56, nullptr},
                          {108, 0, "vids"},
                          {112, 0, "H264"},
                          {128, 1, nullptr},
                          {132, 30, nullptr},  // scale, rate
                          {148, 10000, nullptr},
                          {160, 480u << 16 | 640, nullptr},  // quality; right, bottom
                          {164, 0, "strf"},
                          {168, 40, nullptr},
                          {172, 40, nullptr},
                          {176, 640, nullptr},
                          {180, 480, nullptr},
                          {184, 24u << 16 | 1, nullptr},
                          {188, 0, "H264"},  // planes, bits
                          {192, 640 * 3 * 480, nullptr},
                          {212, 0, "LIST"},
                          {216, 4, nullptr},
                          {220, 0, "movi"}};
  std::vector<uint8_t> expected(AviWriter::kHeaderBytes, 0);
  for (const Field& f : fields) {
    if (f.tag) {
      std::memcpy(&expected[f.at], f.tag, 4);
    } else {
      std::memcpy(&expected[f.at], &f.value, 4);
    }
  }
  EXPECT_EQ(file(), expected);
}

TEST_F(AviWriterTest, ChunksAreRoundedPaddedAndIndexed) {
  AviWriter& w = writer();
  open(w);
  const struct {
    size_t length;
    bool key;
    uint32_t rounded;
  } cases[] = {{0, true, 0}, {1, false, 4}, {4, true, 4}, {5, false, 8}};
  uint32_t offset = 4;
  for (const auto& c : cases) {
    const std::vector<uint8_t> data(c.length, 0xAB);
    ASSERT_EQ(w.WriteFrame(data, c.key), kAviWritten);
  }
  ASSERT_EQ(w.Close(), kAviWritten);
  const auto avi = readAvi(file());
  ASSERT_TRUE(avi);
  EXPECT_EQ(avi->riffSize, file().size() - 8);
  EXPECT_EQ(avi->totalFrames, 4u);
  EXPECT_EQ(avi->length, 4u);
  EXPECT_EQ(test::inconsistency(*avi), "");
  ASSERT_EQ(avi->index.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    const auto& c = cases[i];
    std::vector<uint8_t> data(c.rounded, 0);
    std::fill_n(data.begin(), c.length, 0xAB);
    EXPECT_EQ(avi->chunks[i].tag, "00db");
    EXPECT_EQ(avi->chunks[i].data, data) << i;
    EXPECT_EQ(avi->index[i].flags, c.key ? 0x10u : 0u) << i;
    EXPECT_EQ(avi->index[i].offset, offset) << i;
    EXPECT_EQ(avi->index[i].size, c.rounded) << i;
    offset += 8 + c.rounded;
  }
  EXPECT_EQ(avi->moviSize, offset);
}

TEST_F(AviWriterTest, RefusesAtTheFrameAndRiffLimits) {
  const uint8_t frame[8] = {};
  // Header 224, then each 8-byte frame adds 8 + 8 + 16 to the RIFF size.
  const struct {
    AviLimits limits;
    int32_t second;
  } cases[] = {{{1, 1u << 20}, kAviIndexFull},
               {{10, 224 + 2 * 32 + 1}, kAviWritten},
               {{10, 224 + 2 * 32}, kAviFileFull}};
  for (const auto& c : cases) {
    AviWriter& w = writer(c.limits);
    open(w);
    ASSERT_EQ(w.WriteFrame(frame, true), kAviWritten);
    EXPECT_EQ(w.WriteFrame(frame, true), c.second);
    EXPECT_EQ(w.frameCount(), c.second == kAviWritten ? 2u : 1u);
    EXPECT_TRUE(w.isOpen());
  }
}

TEST_F(AviWriterTest, CheckpointsMakeTheOpenFileReadable) {
  test::TempFolder temp;
  AviWriter w(std::make_unique<platform::PosixFile>(), clock);
  ASSERT_EQ(w.Open(temp.file("c.avi"), kAviKindJpeg, 25, 0, 0), kAviWritten);
  ASSERT_EQ(w.WriteHeader(), kAviWritten);
  const uint8_t frame[6] = {1, 2, 3, 4, 5, 6};
  const auto readNow = [&] {
    auto avi = readAvi(temp.read("c.avi"));
    EXPECT_TRUE(avi);
    if (avi) EXPECT_EQ(test::inconsistency(*avi), "");
    return avi.value_or(test::AviFile{});
  };
  ASSERT_EQ(w.WriteFrame(frame, true), kAviWritten);
  EXPECT_EQ(readNow().totalFrames, 1u);
  w.SetSize(320, 240);
  clock.advance(AviWriter::kCheckpointPeriodMs - 1);
  ASSERT_EQ(w.WriteFrame(frame, false), kAviWritten);
  EXPECT_EQ(readNow().totalFrames, 1u);  // still buffered, and the header says so
  clock.advance(1);
  ASSERT_EQ(w.WriteFrame(frame, false), kAviWritten);
  const test::AviFile mid = readNow();
  EXPECT_EQ(mid.totalFrames, 3u);
  EXPECT_FALSE(mid.hasIndex);
  EXPECT_EQ(mid.width, 320u);
  EXPECT_EQ(mid.frameBottom, 240u);
  EXPECT_EQ(mid.imageSize, 320u * 3 * 240);
  ASSERT_EQ(w.Close(), kAviWritten);
  const test::AviFile done = readNow();
  EXPECT_EQ(done.totalFrames, 3u);
  EXPECT_TRUE(done.hasIndex);
  EXPECT_EQ(done.formatHeight, 240u);
}

// The disk fills at various points: the file keeps whole chunks, its totals and (when it still
// fits) an index for them.
TEST_F(AviWriterTest, AFullDiskLeavesWholeChunks) {
  const uint8_t frame[100] = {7};
  const uint64_t header = AviWriter::kHeaderBytes;
  const struct {
    uint64_t freeBytes;
    int error;
    uint32_t framesKept;
    bool index;
  } cases[] = {
      {header + 108 + 20, ENOSPC, 1, false},  // in frame 2, no room for an index after frame 1
      {header + 108 + 8 + 16, EIO, 1, true},  // in frame 2, room for frame 1's index
      {header + 3 * 108 + 8 + 40, EFBIG, 3, false},  // the index at close
  };
  for (const auto& c : cases) {
    disk = MemoryDisk{};
    disk.freeBytes = c.freeBytes;
    disk.fullErrno = c.error;
    AviWriter& w = writer();
    open(w);
    int32_t result = kAviWritten;
    for (int i = 0; i < 3 && result == kAviWritten; ++i) result = w.WriteFrame(frame, true);
    if (result == kAviWritten) result = w.Close();
    EXPECT_EQ(result, kAviWriteFailed);
    EXPECT_EQ(w.lastError(), c.error);
    EXPECT_FALSE(w.isOpen());
    const auto avi = readAvi(file());
    ASSERT_TRUE(avi) << c.freeBytes;
    EXPECT_EQ(avi->totalFrames, c.framesKept);
    EXPECT_EQ(avi->hasIndex, c.index);
    EXPECT_EQ(test::inconsistency(*avi), "");
    EXPECT_EQ(avi->riffSize + 8, file().size());
  }
}

// Past RLIMIT_FSIZE the kernel raises SIGXFSZ, which the viewer ignores; the write then fails with
// EFBIG like any other.
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
    const std::vector<uint8_t> frame(10000, 1);
    int32_t result = kAviWritten;
    while (result == kAviWritten) result = w.WriteFrame(frame, true);
    const auto avi = test::readAvi(temp.read("big.avi"));
    std::_Exit(result == kAviWriteFailed && w.lastError() == EFBIG && avi && avi->totalFrames == 6
                   ? 0
                   : 1);
  };
  EXPECT_EXIT(writeBeyondTheLimit(), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace vexa
