#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace vexa::camera {

// A file of the video pictures the camera sends, back to back as encoded, for tests that compare
// them with what a viewer received. Each picture reaches the file in one write as it is sent, so
// the file can be read while the camera runs. Streams sent at once would interleave into
// nonsense, so one writer holds the file at a time: the first that writes, until it lets go.
class VideoDump {
 public:
  // One sender of pictures; lets go of the file when it ends. Pictures go nowhere without a dump.
  class Writer {
   public:
    explicit Writer(VideoDump* dump) : dump_(dump) {}
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    ~Writer() { release(); }

    // False when another writer holds the file or there is no file.
    bool write(std::span<const uint8_t> picture);
    void release();

   private:
    VideoDump* const dump_;
  };

  // Creates or empties the file; nullptr with error set when it cannot.
  static std::unique_ptr<VideoDump> create(const std::string& path, std::string& error);
  VideoDump(const VideoDump&) = delete;
  VideoDump& operator=(const VideoDump&) = delete;
  ~VideoDump();

  uint64_t picturesWritten() const;

 private:
  explicit VideoDump(int fd) : fd_(fd) {}
  bool write(const Writer& writer, std::span<const uint8_t> picture);
  void release(const Writer& writer);

  mutable std::mutex mutex_;
  int fd_ = -1;  // -1 once a write failed
  const Writer* holder_ = nullptr;
  uint64_t pictures_ = 0;
};

}  // namespace vexa::camera
