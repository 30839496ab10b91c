#include "camera/H264Encoder.h"

#include <gtest/gtest.h>

#include "camera/PictureGenerator.h"

namespace vexa::camera {
namespace {

uint8_t typeOf(const NalUnit& unit) {
  return unit.at(0) & 0x1F;
}

TEST(H264Encoder, RepeatsTheDescribedParameterSetsBeforeEveryKeyPicture) {
  H264Encoder encoder;
  ASSERT_TRUE(encoder.open({96, 64, 10, 3}));
  ASSERT_FALSE(encoder.sequenceParameterSet().empty());
  EXPECT_EQ(typeOf(encoder.sequenceParameterSet()), 7);
  EXPECT_EQ(typeOf(encoder.pictureParameterSet()), 8);
  EXPECT_EQ(encoder.sequenceParameterSet()[1], 66);  // baseline profile
  const PictureGenerator generator(96, 64);
  for (uint32_t index = 0; index < 7; ++index) {
    const std::vector<NalUnit> unit = encoder.encode(generator.yuvFrame(index));
    ASSERT_FALSE(unit.empty()) << index;
    if (index % 3 == 0) {
      ASSERT_EQ(unit.size(), 3u) << index;
      EXPECT_EQ(unit[0], encoder.sequenceParameterSet());
      EXPECT_EQ(unit[1], encoder.pictureParameterSet());
      EXPECT_EQ(typeOf(unit[2]), 5);  // IDR
    } else {
      for (const NalUnit& nal : unit) EXPECT_EQ(typeOf(nal), 1) << index;
    }
  }
}

TEST(H264Encoder, RefusesSizesAndSettingsItCannotEncode) {
  H264Encoder encoder;
  EXPECT_FALSE(encoder.open({97, 64, 10, 10}));  // odd width
  EXPECT_FALSE(encoder.open({96, 64, 0, 10}));
  EXPECT_FALSE(encoder.open({96, 64, 10, 0}));
  ASSERT_TRUE(encoder.open({96, 64, 10, 10}));
  EXPECT_TRUE(encoder.encode(PictureGenerator(64, 64).yuvFrame(0)).empty());
}

}  // namespace
}  // namespace vexa::camera
