#include "camera/Redirect.h"

#include "camera/HttpRequest.h"

namespace vexa::camera {

const Redirect* findRedirect(const std::vector<Redirect>& redirects, std::string_view url) {
  const std::string_view path = urlPath(url);
  for (const Redirect& redirect : redirects) {
    const std::string_view moved = redirect.path;
    if (moved.empty() || path == moved ||
        (path.starts_with(moved) && path.size() > moved.size() && path[moved.size()] == '/')) {
      return &redirect;
    }
  }
  return nullptr;
}

std::optional<Redirect> parseRedirect(std::string_view text) {
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos || equals + 1 == text.size() ||
      text.find_first_of("\r\n") != std::string_view::npos) {
    return std::nullopt;
  }
  return Redirect{std::string(urlPath(text.substr(0, equals))),
                  std::string(text.substr(equals + 1))};
}

}  // namespace vexa::camera
