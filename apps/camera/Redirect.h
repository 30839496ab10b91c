#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::camera {

// A path the camera answers "301 Moved Permanently" for, sending the client on to location.
struct Redirect {
  std::string path;  // as urlPath gives it: "h264", "old/stream"; empty: every path
  std::string location;
};

// The redirect for a request URL: its path is the redirect's, or lies under it ("h264" covers
// "h264/trackID=1"); nullptr when none applies.
const Redirect* findRedirect(const std::vector<Redirect>& redirects, std::string_view url);

// "PATH=URL" as a user writes it (PATH with or without its slashes); nullopt without '=' or URL.
std::optional<Redirect> parseRedirect(std::string_view text);

}  // namespace vexa::camera
