#include "media/Mpeg4Picture.h"

#include "media/Mpeg4Configuration.h"

namespace vexa {

namespace {

// Visual object start codes 00 to 1F and video object layer ones 20 to 2F; then the sequence,
// user data, group, visual object and VOP ones B0 to B6. Anything else is not part of a picture.
constexpr uint8_t kLastObjectCode = kLastVideoObjectLayerCode;
constexpr uint8_t kLastHeaderCode = kVopCode;
constexpr int kCodingTypeShift = 6;
constexpr uint8_t kIntraCodingType = 0;

bool isPictureCode(uint8_t code) {
  return code <= kLastObjectCode || (code >= kVisualObjectSequenceCode && code <= kLastHeaderCode);
}

// The first start code at or after from whose code byte satisfies wanted.
template <typename Wanted>
std::optional<size_t> findStartCodeWhere(std::span<const uint8_t> bytes, size_t from,
                                         Wanted wanted) {
  for (size_t at = from; at + kMpeg4StartCodeSize <= bytes.size(); ++at) {
    const std::optional<size_t> found = findMpeg4StartCode(bytes, at, 0x00, 0xFF);
    if (!found) return std::nullopt;
    if (wanted(bytes[*found + kMpeg4StartCodeSize - 1])) return found;
    at = *found;
  }
  return std::nullopt;
}

std::optional<size_t> firstPictureStartCode(std::span<const uint8_t> bytes, size_t from) {
  return findStartCodeWhere(bytes, from, isPictureCode);
}

// The VOP start code at or after from whose coding-type byte is there too.
std::optional<size_t> findReadableVop(std::span<const uint8_t> bytes, size_t from) {
  const std::optional<size_t> vop = findMpeg4StartCode(bytes, from, kVopCode, kVopCode);
  if (!vop || *vop + kMpeg4StartCodeSize >= bytes.size()) return std::nullopt;
  return vop;
}

bool isIntraAt(std::span<const uint8_t> bytes, size_t vop) {
  return (bytes[vop + kMpeg4StartCodeSize] >> kCodingTypeShift) == kIntraCodingType;
}

// A second picture's headers: another VOP, a sequence or an object or layer header.
bool holdsAnotherPicture(std::span<const uint8_t> bytes, size_t from) {
  return findStartCodeWhere(bytes, from,
                            [](uint8_t code) {
                              return code == kVopCode || code == kVisualObjectSequenceCode ||
                                     code <= kLastObjectCode;
                            })
      .has_value();
}

}  // namespace

std::optional<Mpeg4PictureLayout> findMpeg4PictureLayout(std::span<const uint8_t> picture) {
  const std::optional<size_t> start = firstPictureStartCode(picture, 0);
  if (!start) return std::nullopt;
  const std::optional<size_t> vop = findReadableVop(picture, *start);
  if (!vop || holdsAnotherPicture(picture, *vop + kMpeg4StartCodeSize)) return std::nullopt;
  const std::span<const uint8_t> headers = picture.subspan(*start, *vop - *start);
  return Mpeg4PictureLayout{
      .start = *start,
      .vop = *vop,
      .hasConfiguration =
          findMpeg4StartCode(headers, 0, kFirstVideoObjectLayerCode, kLastVideoObjectLayerCode)
              .has_value(),
      .intra = isIntraAt(picture, *vop)};
}

Mpeg4Opening mpeg4OpeningOf(std::span<const uint8_t> bytes) {
  if (firstPictureStartCode(bytes, 0) != size_t(0)) return Mpeg4Opening::kNotAPictureStart;
  const std::optional<size_t> vop = findReadableVop(bytes, 0);
  if (!vop) return Mpeg4Opening::kNoVopYet;
  return isIntraAt(bytes, *vop) ? Mpeg4Opening::kIntra : Mpeg4Opening::kPredicted;
}

}  // namespace vexa
