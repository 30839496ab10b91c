#include "record/AviRecorder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "support/AviReader.h"
#include "support/MemoryFile.h"
#include "support/TempFolder.h"

namespace vexa {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// How many frames each picture lasts: its chunk and the empty chunks behind it.
std::vector<uint32_t> durations(const test::AviFile& avi) {
  std::vector<uint32_t> out;
  for (const auto& chunk : avi.chunks) {
    if (!chunk.empty() || out.empty()) out.push_back(0);
    ++out.back();
  }
  return out;
}

class AviRecorderTest : public testing::Test {
 protected:
  AviRecorder& make(AviLimits limits = {}) {
    recorder.reset();
    recorder = std::make_unique<AviRecorder>(report(), clock,
                                             std::make_unique<test::MemoryFile>(disk), limits);
    return *recorder;
  }
  AviRecorder::FailureReport report() {
    return [this](const std::string& text) { reports.push_back(text); };
  }
  // Pictures the gaps apart (taken in turn, over again), the first at once; each picture's
  // bytes are its number. The count taken.
  size_t feed(AviRecorder& r, size_t count, const std::vector<uint32_t>& gaps) {
    size_t taken = 0;
    for (size_t i = 1; i <= count; ++i) {
      if (i > 1) clock.advance(gaps[(i - 2) % gaps.size()]);
      taken += r.AddFrame(Bytes(8, uint8_t(i)));
    }
    return taken;
  }
  test::AviFile read(const std::string& path) {
    test::AviFile avi = test::readAvi(disk.files[path].bytes);
    EXPECT_EQ(avi.problem, "") << path;
    return avi;
  }

  test::MemoryDisk disk;
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
  }
}

TEST_F(AviRecorderTest, PicturesLastUntilTheNextArrives) {
  const struct {
    const char* name;
    int32_t fps;
    uint32_t start;
    std::vector<uint32_t> gaps;
    size_t count;
    std::vector<uint32_t> durations;
  } cases[] = {
      {"15 fps written twice", 15, 0, {66}, 10, std::vector<uint32_t>(10, 2)},
      {"ticks wrapping", 15, 0xFFFFFF00, {66}, 10, std::vector<uint32_t>(10, 2)},
      {"12 fps at 25", 12, 0, {80}, 10, std::vector<uint32_t>(10, 2)},
      {"10 ms apart", 30, 0, {10}, 10, std::vector<uint32_t>(10, 1)},
      {"a 1 s stall", 30, 0, {33, 33, 33, 33, 33, 1000}, 11, {1, 1, 1, 1, 1, 30, 1, 1, 1, 1, 1}},
      {"three at close", 15, 0, {66}, 3, {2, 2, 1}},
      {"five steady at close", 15, 0, {66}, 5, {2, 2, 2, 2, 2}},
      {"five unsteady at close", 30, 0, {33, 33, 33, 200}, 5, {1, 1, 1, 6, 1}},
      // Real time kept where rounding each gap alone would drift: 12 frames for pictures that
      // come three at a time every 100 ms, and 18 for 600 ms.
      {"bunched in threes", 30, 0, {1, 1, 98}, 12, std::vector<uint32_t>(12, 1)},
      {"20 fps at 30", 20, 0, {50}, 12, {1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 2, 1}},
  };
  for (const auto& c : cases) {
    clock.set(c.start);
    AviRecorder& r = make();
    ASSERT_TRUE(r.RequestStart("cam.avi", kAviKindJpeg, c.fps, 8, 8));
    EXPECT_EQ(feed(r, c.count, c.gaps), c.count);
    r.Close();
    const test::AviFile avi = read("cam001.avi");
    EXPECT_EQ(durations(avi), c.durations) << c.name;
    EXPECT_EQ(avi.chunks.front(), Bytes(8, 1)) << c.name;
  }
  // In the last case's file a repetition is a key frame while the pictures are paced (the
  // second picture's), not at the close (the eleventh's).
  const test::AviFile avi = read("cam001.avi");
  ASSERT_EQ(avi.flags.size(), 18u);
  EXPECT_EQ(std::pair(avi.flags[2], avi.flags[16]), std::pair(0x10u, 0u));
}

TEST_F(AviRecorderTest, RequestsTakeEffectWithTheNextPicture) {
  AviRecorder& r = make();
  EXPECT_FALSE(r.RequestStart("cam.avi", 2, 30, 8, 8));  // no such kind
  EXPECT_FALSE(r.IsRecording());
  // A start stopped or closed before any picture leaves no file.
  ASSERT_TRUE(r.RequestStart("cam.avi", kAviKindJpeg, 30, 8, 8));
  r.RequestStop();
  EXPECT_FALSE(r.AddFrame(Bytes(8, 1)));
  ASSERT_TRUE(r.RequestStart("cam.avi", kAviKindJpeg, 30, 8, 8));
  r.Close();
  EXPECT_TRUE(disk.files.empty());
  EXPECT_FALSE(r.IsRecording());

  ASSERT_TRUE(r.RequestStart("rec/cam.avi", kAviKindJpeg, 30, 480, 640));
  feed(r, 2, {33});
  EXPECT_FALSE(r.RequestStart("other.avi", kAviKindJpeg, 30, 8, 8));
  r.RequestStop();
  ASSERT_TRUE(r.RequestStart("b.d/cam", kAviKindJpeg, 30, 8, 8));
  feed(r, 1, {33});
  r.Close();
  EXPECT_EQ(disk.files.size(), 2u);
  const test::AviFile first = read("rec/cam001.avi");
  EXPECT_EQ(std::tuple(first.totalFrames, first.width, first.height),
            std::tuple(2u, 640u, 480u));  // the larger side is the width
  EXPECT_EQ(read("b.d/cam001").totalFrames, 1u);
  EXPECT_EQ(r.filesWritten(), std::vector<std::string>{"b.d/cam001"});
}

// A picture the file refuses opens the next; with the real limits (five pictures still held) the
// second file has one frame, so the first took 432000.
TEST_F(AviRecorderTest, AFullFileGoesOnInTheNext) {
  AviRecorder& r = make({10, 1u << 30});
  ASSERT_TRUE(r.RequestStart("cam.avi", kAviKindJpeg, 30, 8, 8));
  feed(r, 16, {33});
  r.Close();
  EXPECT_EQ(r.filesWritten(), (std::vector<std::string>{"cam001.avi", "cam002.avi"}));
  EXPECT_EQ(read("cam001.avi").totalFrames, 10u);
  const test::AviFile second = read("cam002.avi");
  EXPECT_EQ(std::pair(second.totalFrames, second.chunks.front()), std::pair(6u, Bytes(8, 11)));

  AviRecorder& real = make();
  ASSERT_TRUE(real.RequestStart("big.avi", kAviKindJpeg, 30, 8, 8));
  const uint8_t picture[4] = {};
  for (uint32_t i = 0; i < 432000 + 6; ++i, clock.advance(33)) real.AddFrame(picture);
  ASSERT_EQ(real.filesWritten(), (std::vector<std::string>{"big001.avi", "big002.avi"}));
  EXPECT_EQ(disk.files["big002.avi"].bytes.size(), AviWriter::kHeaderBytes + 8 + 4);
}

// What the file gets from each H.264 unit: sets stored, key units completed with the sets they
// lack, units that are no Annex B refused.
TEST_F(AviRecorderTest, H264UnitsAndTheirParameterSets) {
  const Bytes sps = {0x67, 0x42, 0x00, 0x1F}, pps = {0x68, 0xCE, 0x3C, 0x80}, sei = {0x06, 0x05},
              idr = {0x65, 0x88, 0x84}, slice = {0x41, 0x9A}, aud = {0x09, 0xF0};
  const auto annexB = [](size_t startCode, std::initializer_list<Bytes> nals) {
    Bytes out;
    for (const Bytes& nal : nals) out = out + Bytes(startCode - 1, 0) + Bytes{1} + nal;
    return out;
  };
  const auto stored = [&](std::initializer_list<Bytes> nals) { return annexB(4, nals); };
  for (const size_t sc : {3, 4}) {
    const auto u = [&](std::initializer_list<Bytes> nals) { return annexB(sc, nals); };
    const struct {
      const char* name;
      std::vector<Bytes> units, chunks;
      std::vector<uint32_t> flags;
    } cases[] = {
        {"first unit of x264", {u({sps, pps, sei, idr})}, {u({sps, pps, sei, idr})}, {0x10}},
        {"PPS and IDR", {u({sps}), u({pps, idr})}, {stored({sps}) + u({pps, idr})}, {0x10}},
        {"sets, then IDR",
         {u({sps, pps}), u({idr}), u({slice})},
         {stored({sps, pps}) + u({idr}), u({slice})},
         {0x10, 0}},
        {"delimiter first", {u({aud, sps, pps, idr})}, {u({aud, sps, pps, idr})}, {0x10}},
        {"delimiter, IDR",
         {u({sps, pps}), u({aud, idr})},
         {u({aud}) + stored({sps, pps}) + u({idr})},
         {0x10}},
        {"too short or no start code", {{0, 0, 1, 0x65}, {1, 0, 1, 0x65, 0}}, {}, {}},
    };
    for (const auto& c : cases) {
      AviRecorder& r = make();
      ASSERT_TRUE(r.RequestStart("v.avi", kAviKindH264, 30, 8, 8));
      for (const Bytes& unit : c.units) {
        clock.advance(33);
        r.AddFrame(unit);
      }
      r.Close();
      const test::AviFile avi = read("v001.avi");
      std::vector<Bytes> padded;
      for (const Bytes& chunk : c.chunks) {
        padded.push_back(chunk + Bytes((4 - chunk.size() % 4) % 4, 0));
      }
      EXPECT_EQ(avi.chunks, padded) << c.name << sc;
      EXPECT_EQ(avi.flags, c.flags) << c.name << sc;
    }
  }
}

// Sets, rate and size only in the description, the size from the pictures once they tell it; an
// H.264 picture repeated is an access unit delimiter alone.
TEST_F(AviRecorderTest, H264StreamTakesWhatTheDescriptionTold) {
  AviRecorder& r = make();
  r.describeStream({12, 320, 240, {0x67, 0x42}, {0x68, 0xCE}});
  ASSERT_TRUE(r.RequestStart("v.avi", kAviKindH264, 0, -1, -1));
  r.AddFrame(Bytes{0, 0, 1, 0x65, 0x88});
  clock.advance(80);
  r.AddFrame(Bytes{0, 0, 1, 0x41, 0x9A});
  r.Close();
  const test::AviFile avi = read("v001.avi");
  EXPECT_EQ(std::tuple(avi.rate, avi.width, avi.height), std::tuple(25u, 320u, 240u));
  const Bytes sets = {0, 0, 0, 1, 0x67, 0x42, 0, 0, 0, 1, 0x68, 0xCE};
  EXPECT_EQ(avi.chunks, (std::vector<Bytes>{sets + Bytes{0, 0, 1, 0x65, 0x88, 0, 0, 0},
                                            {0, 0, 1, 9, 0x30, 0, 0, 0},
                                            {0, 0, 1, 0x41, 0x9A, 0, 0, 0}}));
  EXPECT_EQ(avi.flags, (std::vector<uint32_t>{0x10, 0, 0}));

  r.SetSize(640, 360);
  ASSERT_TRUE(r.RequestStart("w.avi", kAviKindH264, 30, 0, 0));
  r.AddFrame(Bytes{0, 0, 1, 0x41, 0x9A});
  r.Close();
  EXPECT_EQ(read("w001.avi").height, 360u);
}

// A file that fills, a full disk, a file that cannot be made: one report, the recording over, no
// next file, whole chunks kept.
TEST_F(AviRecorderTest, AFailedWriteEndsTheRecordingWithOneReport) {
  const auto fails = [&](AviRecorder& r, const std::string& path, const std::string& report) {
    reports.clear();
    ASSERT_TRUE(r.RequestStart(path, kAviKindJpeg, 30, 8, 8));
    feed(r, 12, {33});
    EXPECT_FALSE(r.IsRecording()) << path;
    r.Close();
    EXPECT_EQ(reports, std::vector<std::string>{"Recording stopped: cannot write " + report});
  };
  disk.maxFileBytes = AviWriter::kHeaderBytes + 3 * 16 + 4;
  // At 10 frames a file, a recording that went on would begin a second.
  fails(make({10, 1u << 30}), "rec/cam.avi", "rec/cam001.avi: No space left on device (5)");
  EXPECT_EQ(disk.files.size(), 1u);
  EXPECT_EQ(read("rec/cam001.avi").totalFrames, 3u);

  test::TempFolder temp;
  std::ofstream(temp.file("plain")) << "x";
  ASSERT_EQ(symlink("/dev/full", temp.file("full001.avi").c_str()), 0);
  AviRecorder onDisk(report(), clock);
  fails(onDisk, temp.file("full.avi"), temp.file("full001.avi") + ": No space left on device (5)");
  fails(onDisk, temp.file("plain/cam.avi"),
        temp.file("plain/cam001.avi") + ": Not a directory (4)");
}

// The interface thread starts, stops and restarts while the decode thread hands over H.264
// units; then, as the stream player does, the intake stops and Close follows. Every file left is
// closed and reads back whole.
TEST_F(AviRecorderTest, RequestsRaceTheIntake) {
  AviRecorder& r = make({50, 1 << 20});
  std::atomic<bool> running{true};
  std::thread intake([&] {
    const Bytes idr = {0, 0, 0, 1, 0x67, 0x42, 0, 0, 1, 0x68, 0xCE, 0, 0, 1, 0x65, 0x88},
                slice = {0, 0, 1, 0x41, 0x9A, 0x01};
    for (uint32_t i = 0; running; ++i, clock.advance(33)) {
      if (r.IsRecording()) r.AddFrame(i % 10 == 0 ? idr : slice);
    }
  });
  for (int i = 0; i < 3000; ++i, std::this_thread::yield()) {
    r.RequestStart("v" + std::to_string(i % 3) + ".avi", kAviKindH264, i % 40, 8, 8);
    if (i % 2 == 1) r.RequestStop();
    (void)r.filesWritten();
  }
  r.RequestStop();
  running = false;
  intake.join();
  r.Close();
  EXPECT_FALSE(r.IsRecording());
  EXPECT_EQ(reports, std::vector<std::string>{});
  for (auto& [path, file] : disk.files) {
    EXPECT_TRUE(file.closed) << path;
    EXPECT_EQ(test::readAvi(file.bytes).problem, "") << path;
  }
}

}  // namespace
}  // namespace vexa
