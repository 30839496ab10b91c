#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace vexa::test {

// A fresh folder that is also the process's temporary folder ($TMPDIR) while it lives, so the
// snapshot's "capture.bmp" of one test never meets another's.
class ScopedTempFolder {
 public:
  ScopedTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vexa-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    if (const char* old = std::getenv("TMPDIR")) oldTmpDir_ = old;
    setenv("TMPDIR", path_.c_str(), 1);
  }
  ~ScopedTempFolder() {
    if (oldTmpDir_) {
      setenv("TMPDIR", oldTmpDir_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScopedTempFolder(const ScopedTempFolder&) = delete;
  ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;

  // Without a trailing "/".
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  std::optional<std::string> oldTmpDir_;
};

inline std::vector<uint8_t> readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace vexa::test
