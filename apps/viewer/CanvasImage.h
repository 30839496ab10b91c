#pragma once

#include <string>

namespace vexa {
class Canvas;
}

namespace vexa::viewer {

// Writes what a canvas shows as an image file in the format the path's extension names
// (.jpg/.jpeg, .bmp, .png, .tif/.tiff, .gif); false when nothing was written.
bool saveCanvasImage(const Canvas& canvas, const std::string& path);

}  // namespace vexa::viewer
