#include "net/InterfaceChoice.h"

#include <gtest/gtest.h>

#include <vector>

namespace vexa::net {
namespace {

constexpr uint32_t ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return a << 24 | b << 16 | c << 8 | d;
}
constexpr uint32_t kMask8 = 0xFF000000;
constexpr uint32_t kMask16 = 0xFFFF0000;
constexpr uint32_t kMask24 = 0xFFFFFF00;

TEST(InterfaceChoice, TakesTheLongestMaskOnTheCamerasSubnetAndTheFirstOfEquals) {
  const uint32_t camera = ip(10, 1, 2, 3);
  const InterfaceAddress loopback{ip(127, 0, 0, 1), kMask8};
  const InterfaceAddress wide{ip(10, 9, 9, 9), kMask8};
  const InterfaceAddress narrow{ip(10, 1, 2, 50), kMask24};
  const InterfaceAddress narrowToo{ip(10, 1, 2, 60), kMask24};
  const InterfaceAddress elsewhere{ip(192, 168, 1, 2), kMask16};
  const struct {
    std::vector<InterfaceAddress> interfaces;
    uint32_t expected;
  } cases[] = {
      {{loopback, wide, narrow}, narrow.address},
      {{narrow, wide}, narrow.address},
      {{narrowToo, narrow}, narrowToo.address},
      {{narrow, narrowToo}, narrow.address},
      {{loopback, elsewhere}, 0},
      {{}, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(chooseInterface(c.interfaces, camera), c.expected);
}

TEST(InterfaceChoice, OnlyALoopbackOrUnboundLocalAddressIsReplaced) {
  EXPECT_EQ(multicastInterface("192.0.2.7", "127.0.0.1"), "192.0.2.7");
  // The loopback interface is up everywhere and holds 127.0.0.1/8.
  EXPECT_EQ(multicastInterface("127.0.0.1", "127.0.0.9"), "127.0.0.1");
  EXPECT_EQ(multicastInterface("0.0.0.0", "127.0.0.9"), "127.0.0.1");
  EXPECT_EQ(multicastInterface("0.0.0.0", "camera.local"), "0.0.0.0");
}

}  // namespace
}  // namespace vexa::net
