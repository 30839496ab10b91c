#pragma once

#include <cstdint>
#include <string>

namespace vexa {

class CImgDlg;
struct StreamConfig;

// The attributes a page describes the camera and tunes the viewer with: fixed keys, compared
// exactly, validated here and handed to the video window, its pan/tilt/zoom sender and fisheye
// engine, and to the stream configuration the next site is made from.
namespace attributes {

constexpr const char* kViewerVersion = "1.16.2";

// 0 stored; 1 for a value outside the key's list, an unknown key, and USER and PASS. FISHEYE_MODE
// answers 1 when no fisheye engine exists after it.
int32_t setString(CImgDlg& window, StreamConfig& config, const std::string& key,
                  const std::string& value);
// Unknown keys do nothing.
void setInteger(CImgDlg& window, const std::string& key, int32_t value);
// "" for unknown keys.
std::string getString(const CImgDlg& window, const std::string& key);

}  // namespace attributes
}  // namespace vexa
