#include "media/Mpeg4Picture.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/rtp/Mpeg4ContractFormat.h"

namespace vexa {

// Found by argument lookup for the failure messages.
std::ostream& operator<<(std::ostream& out, const Mpeg4PictureLayout& layout) {
  return out << "{" << layout.start << ", " << layout.vop << ", " << layout.hasConfiguration << ", "
             << layout.intra << "}";
}

namespace {

using rtp::test::Bytes;
using rtp::test::concat;

struct LayoutCase {
  std::string name;
  Bytes picture;
  std::optional<Mpeg4PictureLayout> layout;
};

// Read from a copy exactly as large as the picture, so a read past its end is caught.
std::optional<Mpeg4PictureLayout> layoutOf(const Bytes& picture) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[picture.size()]);
  std::copy(picture.begin(), picture.end(), exact.get());
  return findMpeg4PictureLayout({exact.get(), picture.size()});
}

TEST(Mpeg4Picture, FindsOneVopAndWhatComesBeforeItOrRefusesThePicture) {
  const Bytes configuration = rtp::test::mpeg4Configuration();
  const Bytes group = rtp::test::mpeg4GroupHeader();
  const Bytes intra = rtp::test::mpeg4Vop(true, 10, 1), p = rtp::test::mpeg4Vop(false, 10, 2);
  const Bytes garbage = {0x07, 0x00, 0x00, 0x01, 0xC3, 0x00, 0x00};  // a system start code too
  const Bytes vopCode = {0x00, 0x00, 0x01, 0xB6};
  const size_t c = configuration.size(), g = group.size();
  const std::vector<LayoutCase> cases = {
      {"intra VOP alone", intra, Mpeg4PictureLayout{0, 0, false, true}},
      {"P VOP alone", p, Mpeg4PictureLayout{0, 0, false, false}},
      {"configuration and group header", concat({configuration, group, intra}),
       Mpeg4PictureLayout{0, c + g, true, true}},
      {"garbage before the first start code", concat({garbage, group, p}),
       Mpeg4PictureLayout{garbage.size(), garbage.size() + g, false, false}},
      {"a layer header alone counts as configuration",
       concat({Bytes(configuration.begin() + 15, configuration.end()), intra}),
       Mpeg4PictureLayout{0, c - 15, true, true}},
      {"no VOP", concat({configuration, group}), std::nullopt},
      {"two VOPs", concat({intra, p}), std::nullopt},
      {"a second configuration behind the VOP", concat({intra, configuration}), std::nullopt},
      {"under 5 bytes", vopCode, std::nullopt},
      {"a VOP start code as the last bytes", concat({configuration, vopCode}), std::nullopt},
      {"only garbage", garbage, std::nullopt},
      {"nothing", {}, std::nullopt},
  };
  for (const LayoutCase& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_EQ(layoutOf(test.picture), test.layout);
  }
}

}  // namespace
}  // namespace vexa
