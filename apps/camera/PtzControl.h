#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "camera/PtzView.h"
#include "platform/Clock.h"

namespace vexa::camera {

// What a command request gets: the status line's code and reason, and the body's lines.
struct PtzAnswer {
  int status = 200;
  std::string reason = "OK";
  std::vector<std::string> lines;
  bool operator==(const PtzAnswer&) const = default;
};

// The camera's one pan/tilt/zoom head, shared by the command server and every stream: commands
// come as the query of a ptz.cgi request, pictures ask where the view is now. The view moves by
// the clock, however often it is looked at.
class PtzControl {
 public:
  static constexpr size_t kMaxQueryBytes = 1024;
  static constexpr std::string_view kPath = "cgi-bin/com/ptz.cgi";

  // clock: the system's when null.
  PtzControl(int width, int height, const platform::Clock* clock = nullptr);
  PtzControl(const PtzControl&) = delete;
  PtzControl& operator=(const PtzControl&) = delete;

  // Runs the commands of query (the text after "?"); 400 and nothing done when any value is bad
  // or no command is there.
  PtzAnswer handle(std::string_view query);
  ViewRect crop();
  // The same view in a scene of pictures of width x height, for streams of another size.
  ViewRect cropFor(int width, int height);
  // "view x,y widthxheight zoom p", for the log.
  std::string describe();

 private:
  void catchUp();  // under mutex_

  const int width_;
  const int height_;
  const platform::Clock& clock_;
  std::mutex mutex_;
  PtzView view_;
  uint32_t lastTick_;
};

}  // namespace vexa::camera
