#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace vexa::test {

// A fresh folder that is also the process's temporary folder ($TMPDIR) while it lives, so files
// one test leaves in the temporary folder never meet another's.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vexa-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    if (const char* old = std::getenv("TMPDIR")) oldTmpDir_ = old;
    setenv("TMPDIR", path_.c_str(), 1);
  }
  ~TempFolder() {
    if (oldTmpDir_) {
      setenv("TMPDIR", oldTmpDir_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // Without a trailing "/".
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  bool has(const std::string& name) const { return std::filesystem::exists(file(name)); }
  std::vector<uint8_t> read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  std::string path_;
  std::optional<std::string> oldTmpDir_;
};

}  // namespace vexa::test
