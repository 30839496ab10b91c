#include "record/AviRecorder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "support/AviReader.h"
#include "support/MemoryFile.h"
#include "support/TempFolder.h"

namespace vexa {
namespace {

using Bytes = std::vector<uint8_t>;
using test::MemoryDisk;

// How many frames each picture lasts: its chunk and the empty chunks behind it.
std::vector<uint32_t> durations(const test::AviFile& avi) {
  std::vector<uint32_t> out;
  for (const auto& chunk : avi.chunks) {
    if (chunk.size == 0 && !out.empty()) {
      ++out.back();
    } else {
      out.push_back(1);
    }
  }
  return out;
}

class AviRecorderTest : public testing::Test {
 protected:
  AviRecorder& make(AviLimits limits = {}) {
    recorder.reset();
    recorder =
        std::make_unique<AviRecorder>([this](const std::string& text) { reports.push_back(text); },
                                      clock, std::make_unique<test::MemoryFile>(disk), limits);
    return *recorder;
  }
  // Pictures the gaps apart (taken in turn), the first at once; each picture's bytes are its
  // number. The count taken.
  size_t feed(AviRecorder& r, size_t count, std::vector<uint32_t> gaps, size_t stallBefore = 0,
              uint32_t stall = 0) {
    size_t taken = 0;
    for (size_t i = 1; i <= count; ++i) {
      if (i > 1) clock.advance(i == stallBefore ? stall : gaps[(i - 2) % gaps.size()]);
      taken += r.AddFrame(Bytes(8, uint8_t(i)));
    }
    return taken;
  }
  test::AviFile read(const std::string& path) {
    const auto avi = test::readAvi(disk.bytes(path));
    EXPECT_TRUE(avi) << path;
    if (avi) EXPECT_EQ(test::inconsistency(*avi), "") << path;
    return avi.value_or(test::AviFile{});
  }

  MemoryDisk disk;
  platform::ManualClock clock;
  std::vector<std::string> reports;
  std::unique_ptr<AviRecorder> recorder;
};

TEST_F(AviRecorderTest, FrameRateFollowsTheNearerOfTheRates) {
  const std::pair<int32_t, uint32_t> cases[] = {{0, 30},  {10, 30}, {11, 25}, {13, 25}, {14, 30},
                                                {20, 30}, {21, 25}, {27, 25}, {28, 30}};
  for (const auto& [fps, rate] : cases) {
    AviRecorder& r = make();
    ASSERT_TRUE(r.RequestStart("cam.avi", kAviKindJpeg, fps, 8, 8));
    feed(r, 1, {0});
    r.Close();
    EXPECT_EQ(read("cam001.avi").rate, rate) << fps;
    EXPECT_EQ(read("cam001.avi").compression, "MJPG");
  }
}

TEST_F(AviRecorderTest, PicturesLastUntilTheNextArrives) {
  const struct {
    const char* name;
    int32_t fps;
    uint32_t start;
    std::vector<uint32_t> gaps;
    size_t count, stallBefore;
    uint32_t stall;
    std::vector<uint32_t> durations;
  } cases[] = {
      {"15 fps written twice", 15, 0, {66}, 10, 0, 0, std::vector<uint32_t>(10, 2)},
      {"ticks wrapping", 15, 0xFFFFFF00, {66}, 10, 0, 0, std::vector<uint32_t>(10, 2)},
      {"12 fps at 25", 12, 0, {80}, 10, 0, 0, std::vector<uint32_t>(10, 2)},
      {"10 ms apart", 30, 0, {10}, 10, 0, 0, std::vector<uint32_t>(10, 1)},
      {"a 1 s stall", 30, 0, {33}, 11, 7, 1000, {1, 1, 1, 1, 1, 30, 1, 1, 1, 1, 1}},
      {"three at close", 15, 0, {66}, 3, 0, 0, {2, 2, 1}},
      {"five steady at close", 15, 0, {66}, 5, 0, 0, {2, 2, 2, 2, 2}},
      {"five unsteady at close", 30, 0, {33}, 5, 5, 200, {1, 1, 1, 6, 1}},
      // Real time kept where rounding each gap alone would drift: 18 frames for 600 ms, and
      // 12 for pictures that come three at a time every 100 ms.
      {"20 fps at 30", 20, 0, {50}, 12, 0, 0, {1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 2, 1}},
      {"bunched in threes", 30, 0, {1, 1, 98}, 12, 0, 0, std::vector<uint32_t>(12, 1)},
  };
  for (const auto& c : cases) {
    clock.set(c.start);
    AviRecorder& r = make();
    ASSERT_TRUE(r.RequestStart("cam.avi", kAviKindJpeg, c.fps, 8, 8));
    EXPECT_EQ(feed(r, c.count, c.gaps, c.stallBefore, c.stall), c.count);
    r.Close();
    const test::AviFile avi = read("cam001.avi");
    EXPECT_EQ(durations(avi), c.durations) << c.name;
    EXPECT_EQ(avi.chunks.front().data, Bytes(8, 1)) << c.name;
  }
  // The last case's repetition: while pacing a repeated picture stays a key frame, at the close
  // not.
  const test::AviFile avi = read("cam001.avi");
  EXPECT_EQ(avi.index[1].flags, 0x10u);
}

TEST_F(AviRecorderTest, RequestsTakeEffectWithTheNextPicture) {
  AviRecorder& r = make();
  EXPECT_FALSE(r.RequestStart("cam.avi", 2, 30, 8, 8));
  EXPECT_FALSE(r.IsRecording());
  // A start stopped or closed before any picture leaves no file.
  ASSERT_TRUE(r.RequestStart("cam.avi", kAviKindJpeg, 30, 8, 8));
  r.RequestStop();
  EXPECT_FALSE(r.AddFrame(Bytes(8, 1)));
  ASSERT_TRUE(r.RequestStart("cam.avi", kAviKindJpeg, 30, 8, 8));
  r.Close();
  EXPECT_TRUE(disk.created.empty());
  EXPECT_EQ(r.state(), AviRecorder::kIdle);

  ASSERT_TRUE(r.RequestStart("rec/cam.avi", kAviKindJpeg, 30, 480, 640));
  feed(r, 2, {33});
  EXPECT_FALSE(r.RequestStart("other.avi", kAviKindJpeg, 30, 8, 8));
  r.RequestStop();
  ASSERT_TRUE(r.RequestStart("b.d/cam", kAviKindJpeg, 30, 8, 8));
  EXPECT_EQ(r.state(), AviRecorder::kRestartRequested);
  feed(r, 1, {33});
  EXPECT_EQ(r.state(), AviRecorder::kRecording);
  r.Close();
  EXPECT_EQ(disk.created, (std::vector<std::string>{"rec/cam001.avi", "b.d/cam001"}));
  const test::AviFile first = read("rec/cam001.avi");
  EXPECT_EQ(first.totalFrames, 2u);
  EXPECT_EQ(first.width, 640u);  // the larger side
  EXPECT_EQ(first.height, 480u);
  EXPECT_EQ(read("b.d/cam001").totalFrames, 1u);
  EXPECT_EQ(r.filesWritten(), std::vector<std::string>{"b.d/cam001"});
}

TEST_F(AviRecorderTest, AFullFileGoesOnInTheNext) {
  AviRecorder& r = make({10, 1u << 30});
  ASSERT_TRUE(r.RequestStart("cam.avi", kAviKindJpeg, 30, 8, 8));
  feed(r, 16, {33});
  r.Close();
  EXPECT_EQ(r.filesWritten(), (std::vector<std::string>{"cam001.avi", "cam002.avi"}));
  EXPECT_EQ(read("cam001.avi").totalFrames, 10u);
  EXPECT_EQ(read("cam002.avi").totalFrames, 6u);
  EXPECT_EQ(read("cam002.avi").chunks.front().data, Bytes(8, 11));
}

TEST_F(AviRecorderTest, TheIndexLimitOfARealFile) {
  disk.keepBytes = AviWriter::kHeaderBytes;  // count the rest
  AviRecorder& r = make();
  ASSERT_TRUE(r.RequestStart("cam.avi", kAviKindJpeg, 30, 8, 8));
  const uint8_t picture[4] = {};
  for (uint32_t i = 0; i < 432000 + 6; ++i) {
    clock.advance(33);
    r.AddFrame(picture);
  }
  ASSERT_EQ(r.filesWritten(), (std::vector<std::string>{"cam001.avi", "cam002.avi"}));
  const Bytes& header = disk.bytes("cam001.avi");
  EXPECT_EQ(header[48] | header[49] << 8 | header[50] << 16, 432000);
  EXPECT_EQ(disk.files["cam002.avi"].size, AviWriter::kHeaderBytes + 12);
}

// What the file gets from each H.264 unit: sets stored, IDR units completed with the sets they
// lack.
TEST_F(AviRecorderTest, H264UnitsAndTheirParameterSets) {
  const Bytes sps = {0x67, 0x42, 0x00, 0x1F}, pps = {0x68, 0xCE, 0x3C, 0x80}, sei = {0x06, 0x05},
              idr = {0x65, 0x88, 0x84}, slice = {0x41, 0x9A}, aud = {0x09, 0xF0};
  const auto unit = [](size_t startCode, std::initializer_list<Bytes> nals) {
    Bytes out;
    for (const Bytes& nal : nals) {
      out.insert(out.end(), startCode - 3, 0);
      out.insert(out.end(), {0, 0, 1});
      out.insert(out.end(), nal.begin(), nal.end());
    }
    return out;
  };
  const auto stored = [&](std::initializer_list<Bytes> nals) { return unit(4, nals); };
  const auto join = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
  };
  for (const size_t sc : {3, 4}) {
    const struct {
      const char* name;
      std::vector<Bytes> units;
      std::vector<Bytes> chunks;
      std::vector<uint32_t> flags;
    } cases[] = {
        {"first unit of x264",
         {unit(sc, {sps, pps, sei, idr})},
         {unit(sc, {sps, pps, sei, idr})},
         {0x10}},
        {"PPS and IDR",
         {unit(sc, {sps}), unit(sc, {pps, idr})},
         {join({stored({sps}), unit(sc, {pps, idr})})},
         {0x10}},
        {"sets, then IDR",
         {unit(sc, {sps, pps}), unit(sc, {idr}), unit(sc, {slice})},
         {join({stored({sps, pps}), unit(sc, {idr})}), unit(sc, {slice})},
         {0x10, 0}},
        {"delimiter first",
         {unit(sc, {aud, sps, pps, idr})},
         {unit(sc, {aud, sps, pps, idr})},
         {0x10}},
        {"delimiter, IDR",
         {unit(sc, {sps, pps}), unit(sc, {aud, idr})},
         {join({unit(sc, {aud}), stored({sps, pps}), unit(sc, {idr})})},
         {0x10}},
        {"refused", {{0, 0, 1, 0x65}, {1, 0, 1, 0x65, 0}}, {}, {}},
    };
    for (const auto& c : cases) {
      AviRecorder& r = make();
      ASSERT_TRUE(r.RequestStart("v.avi", kAviKindH264, 30, 8, 8));
      for (const Bytes& u : c.units) {
        clock.advance(33);
        r.AddFrame(u);
      }
      r.Close();
      const test::AviFile avi = read("v001.avi");
      ASSERT_EQ(avi.chunks.size(), c.chunks.size()) << c.name << sc;
      for (size_t i = 0; i < c.chunks.size(); ++i) {
        Bytes padded = c.chunks[i];
        padded.resize((padded.size() + 3) & ~size_t(3));
        EXPECT_EQ(avi.chunks[i].data, padded) << c.name << sc;
        EXPECT_EQ(avi.index[i].flags, c.flags[i]) << c.name << sc;
      }
    }
  }
}

// Sets only in the description, rate and size only there or from the pictures; an H.264 picture
// repeated is an access unit delimiter.
TEST_F(AviRecorderTest, H264StreamTakesWhatTheDescriptionTold) {
  AviRecorder& r = make();
  r.describeStream({12, 320, 240, {0x67, 0x42}, {0x68, 0xCE}});
  ASSERT_TRUE(r.RequestStart("v.avi", kAviKindH264, 0, -1, -1));
  r.AddFrame(Bytes{0, 0, 1, 0x65, 0x88});
  clock.advance(80);
  r.AddFrame(Bytes{0, 0, 1, 0x41, 0x9A});
  r.Close();
  const test::AviFile avi = read("v001.avi");
  EXPECT_EQ(avi.rate, 25u);
  EXPECT_EQ(avi.width, 320u);
  ASSERT_EQ(avi.chunks.size(), 3u);
  EXPECT_EQ(avi.chunks[0].data,
            (Bytes{0, 0, 0, 1, 0x67, 0x42, 0, 0, 0, 1, 0x68, 0xCE, 0, 0, 1, 0x65, 0x88, 0, 0, 0}));
  EXPECT_EQ(avi.chunks[1].data, (Bytes{0, 0, 1, 9, 0x30, 0, 0, 0}));
  EXPECT_EQ(avi.index[1].flags, 0u);

  r.SetSize(640, 360);
  ASSERT_TRUE(r.RequestStart("w.avi", kAviKindH264, 30, 0, 0));
  r.AddFrame(Bytes{0, 0, 1, 0x41, 0x9A});
  r.Close();
  EXPECT_EQ(read("w001.avi").height, 360u);
}

// A disk that fills, a file that cannot be made, on the in-memory disk and on real ones: one
// report, the recording over, no next file, whole chunks kept.
TEST_F(AviRecorderTest, AFailedWriteEndsTheRecordingWithOneReport) {
  test::TempFolder temp;
  std::ofstream(temp.file("plain")) << "x";
  ASSERT_EQ(symlink("/dev/full", temp.file("full001.avi").c_str()), 0);
  const struct {
    std::string path;
    uint64_t freeBytes;
    int openErrno;
    std::string report;
  } cases[] = {
      {"rec/cam.avi", AviWriter::kHeaderBytes + 3 * 16 + 4, 0,
       "rec/cam001.avi: No space left on device (5)"},
      {"rec/cam.avi", ~0ull, EACCES, "rec/cam001.avi: Permission denied (4)"},
      {temp.file("full.avi"), 0, 0, temp.file("full001.avi") + ": No space left on device (5)"},
      {temp.file("plain/cam.avi"), 0, 0, temp.file("plain/cam001.avi") + ": Not a directory (4)"},
  };
  for (const auto& c : cases) {
    disk = MemoryDisk{};
    disk.freeBytes = c.freeBytes;
    disk.openErrno = c.openErrno;
    reports.clear();
    const bool real = c.freeBytes == 0;
    AviRecorder memory([this](const std::string& text) { reports.push_back(text); }, clock,
                       std::make_unique<test::MemoryFile>(disk), {10, 1u << 30});
    AviRecorder posix([this](const std::string& text) { reports.push_back(text); }, clock);
    AviRecorder& r = real ? posix : memory;
    ASSERT_TRUE(r.RequestStart(c.path, kAviKindJpeg, 30, 8, 8));
    feed(r, 12, {33});
    EXPECT_EQ(r.state(), AviRecorder::kIdle);
    r.Close();
    EXPECT_EQ(reports, std::vector<std::string>{"Recording stopped: cannot write " + c.report});
    if (real) continue;
    EXPECT_EQ(disk.created.size(), c.openErrno ? 0u : 1u);
    if (!c.openErrno) EXPECT_EQ(read("rec/cam001.avi").totalFrames, 3u);
  }
}

}  // namespace
}  // namespace vexa
