#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "record/AviRecorder.h"
#include "support/AviReader.h"
#include "support/MemoryFile.h"

namespace vexa {
namespace {

// The interface thread starts, stops and restarts while the decode thread hands over H.264
// units; then, as the stream player does, the intake stops and Close follows. Every file left is
// closed and reads back whole.
TEST(AviRecorderThreads, RequestsRaceTheIntake) {
  test::MemoryDisk disk;
  platform::ManualClock clock;
  std::atomic<int> reports{0};
  {
    AviRecorder recorder([&](const std::string&) { ++reports; }, clock,
                         std::make_unique<test::MemoryFile>(disk), {50, 1 << 20});
    std::atomic<bool> running{true};
    std::thread intake([&] {
      const std::vector<uint8_t> idr = {0, 0, 1, 0x67, 0x42, 0, 0, 1, 0x68, 0xCE, 0, 0, 1, 0x65},
                                 slice = {0, 0, 1, 0x41, 0x9A};
      for (uint32_t i = 0; running; ++i) {
        clock.advance(33);
        if (recorder.IsRecording()) recorder.AddFrame(i % 10 == 0 ? idr : slice);
      }
    });
    for (int i = 0; i < 3000; ++i) {
      recorder.RequestStart("v" + std::to_string(i % 3) + ".avi", kAviKindH264, i % 40, 8, 8);
      if (i % 2 == 1) recorder.RequestStop();
      (void)recorder.filesWritten();
      std::this_thread::yield();
    }
    recorder.RequestStop();
    running = false;
    intake.join();
    recorder.Close();
    EXPECT_FALSE(recorder.IsRecording());
  }
  EXPECT_EQ(reports, 0);
  for (auto& [path, file] : disk.files) {
    EXPECT_TRUE(file.closed) << path;
    EXPECT_EQ(test::readAvi(file.bytes).problem, "") << path;
  }
}

}  // namespace
}  // namespace vexa
