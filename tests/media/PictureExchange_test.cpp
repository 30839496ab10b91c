#include "media/PictureExchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "support/Planes.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace vexa {
namespace {

constexpr size_t kBytes = 4 * 2 * 3;

void write(PictureExchange& exchange, uint8_t value) {
  uint8_t* pixels = exchange.writable();
  ASSERT_NE(pixels, nullptr);
  std::memset(pixels, value, kBytes);
  exchange.publish(4, 2);
}

bool holds(const PictureLease& lease, uint8_t value) {
  for (size_t i = 0; i < lease.bytes(); ++i) {
    if (lease.bits()[i] != value) return false;
  }
  return lease.bytes() == kBytes;
}

// Each reader keeps a different picture: the writer must find a free one every time. Copied and
// moved leases hold until the last goes, even past the exchange.
TEST(PictureExchange, HeldPicturesAreNeverWrittenHoweverManyLeasesHoldThem) {
  PictureLease survivor;
  {
    PictureExchange exchange(kBytes, SWS_BILINEAR);
    EXPECT_FALSE(exchange.leaseNewest()) << "nothing to lend before the first picture";
    std::vector<PictureLease> held;
    std::set<const uint8_t*> buffers;
    for (uint8_t value = 1; value <= 6; ++value) {
      write(exchange, value);
      held.push_back(exchange.leaseNewest());
      ASSERT_EQ(std::pair(held.back().width(), held.back().height()), std::pair(4, 2));
      buffers.insert(held.back().bits());
      EXPECT_NE(exchange.writable(), held.back().bits());
    }
    EXPECT_EQ(buffers.size(), held.size());
    for (uint8_t value = 1; value <= 6; ++value) EXPECT_TRUE(holds(held[value - 1], value));
    PictureLease copy = held[0];
    survivor = std::move(copy);
    held.front().reset();
    EXPECT_FALSE(copy || held.front());

    // Let go, and the pictures are used again rather than more added.
    held.clear();
    for (uint8_t value = 10; value < 20; ++value) {
      write(exchange, value);
      buffers.insert(exchange.leaseNewest().bits());
    }
    EXPECT_EQ(buffers.size(), 7u) << "the six once held and the one written meanwhile";
  }
  EXPECT_TRUE(holds(survivor, 1));
}

TEST(PictureExchange, AReaderThreadNeverSeesAPictureChangeUnderIt) {
  PictureExchange exchange(kBytes, SWS_BILINEAR);
  write(exchange, 0);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 1; i < 20000; ++i) write(exchange, uint8_t(i));
    done = true;
  });
  int torn = 0;
  while (!done) {
    const PictureLease lease = exchange.leaseNewest();
    const uint8_t first = lease.bits()[0];
    for (size_t i = 0; i < lease.bytes(); ++i) torn += lease.bits()[i] != first;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

// Planes become BGR on a reader's first ask, byte for byte what converting them at once gives, and
// every holder sees that one result while the writer goes on publishing.
TEST(PictureExchange, PlanesTurnIntoTheirEagerBgrOnFirstAskWhileTheWriterGoesOn) {
  constexpr int kWidth = 33, kHeight = 17, kPictures = 4;
  PictureExchange exchange(size_t(kWidth) * kHeight * 3, SWS_BILINEAR);
  std::vector<test::FramePtr> pictures;
  std::vector<std::vector<uint8_t>> expected;
  for (int v = 0; v < kPictures; ++v) {
    pictures.push_back(test::makePlanes(kWidth, kHeight, AV_PIX_FMT_YUV420P, [v](int p, int x, int y) {
      return uint8_t(p == 0 ? 16 + v * 50 + (x + y) % 7 : 128 + (p == 1 ? v : -v) * 9);
    }));
    expected.push_back(test::eagerBgr(*pictures.back(), SWS_BILINEAR));
  }
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 3000; ++i) {
      AVFrame* frame = exchange.writableFrame();
      av_frame_unref(frame);
      ASSERT_EQ(av_frame_ref(frame, pictures[size_t(i % kPictures)].get()), 0);
      ASSERT_TRUE(exchange.publishFrame());
    }
    done = true;
  });
  std::atomic<int> wrong{0}, seen{0};
  auto read = [&] {
    while (!done) {
      const PictureLease lease = exchange.leaseNewest();
      if (!lease) continue;
      const auto held = std::find_if(pictures.begin(), pictures.end(), [&](const auto& picture) {
        return picture->data[0] == lease.frame()->data[0];
      });
      const std::vector<uint8_t>& want = expected[size_t(held - pictures.begin())];
      wrong += lease.bytes() != want.size() || std::memcmp(lease.bits(), want.data(), want.size()) != 0;
      ++seen;
    }
  };
  std::thread otherReader(read);
  read();
  writer.join();
  otherReader.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(seen, 0);
}

}  // namespace
}  // namespace vexa
