#include "record/AviRecorder.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "media/MjpegDecoder.h"
#include "media/rtp/H264Nal.h"

namespace vexa {
namespace {

// The largest units the taps hand over; a ring slot holds one, plus the parameter sets put in
// front of an H.264 key unit.
constexpr size_t kMaxJpegPictureBytes = size_t(MjpegDecoder::kMaxJpegBytes);
constexpr size_t kMaxH264UnitBytes = rtp::kMaxAccessUnitSize;

// A repeated H.264 picture: an access unit delimiter alone (primary_pic_type 1), which decoders
// pass over while players hold the picture for the frame's duration.
constexpr uint8_t kRepeatDelimiter[] = {0, 0, 1, 9, 0x30};

constexpr uint32_t kPicturesInAverage = 5;
constexpr int64_t kMaxAheadMs = 1000;
constexpr uint32_t kGapsInCloseAverage = 4;

bool refused(int32_t result) {
  return result == kAviIndexFull || result == kAviFileFull;
}

int64_t distance(uint32_t a, uint32_t b) {
  return a > b ? int64_t(a - b) : int64_t(b - a);
}

}  // namespace

AviRecorder::AviRecorder(FailureReport report, const platform::Clock& clock,
                         std::unique_ptr<platform::File> file, AviLimits limits)
    : report_(std::move(report)), clock_(clock), writer_(std::move(file), clock, limits) {}

AviRecorder::~AviRecorder() {
  Close();
}

// From 11 to 20 the nearer of 12 and 15 decides, from 21 up the nearer of 25 and 30; ties go to
// the 25 frames a second of 12 and 25.
AviRecorder::Pace AviRecorder::paceFor(int64_t fps) {
  const bool twentyFive = (fps >= 11 && fps <= 13) || (fps >= 21 && fps <= 27);
  return twentyFive ? Pace{25, 40, 13} : Pace{30, 33, 11};
}

bool AviRecorder::RequestStart(const std::string& path, uint32_t kind, int32_t fps, int32_t width,
                               int32_t height) {
  if (kind != kAviKindJpeg && kind != kAviKindH264) return false;
  std::lock_guard lock(mutex_);
  const uint32_t state = state_.load();
  if (state == kRecording) return false;
  const size_t slash = path.rfind('/');
  const size_t dot = path.find('.', slash == std::string::npos ? 0 : slash + 1);
  request_.base = path.substr(0, dot);
  request_.extension = dot == std::string::npos ? std::string() : path.substr(dot);
  request_.kind = kind;
  request_.fps = fps;
  const bool sized = width >= 1 && height >= 1;
  request_.width = sized ? std::max(width, height) : 0;
  request_.height = sized ? std::min(width, height) : 0;
  if (state == kIdle) state_ = kStartRequested;
  if (state == kStopRequested) state_ = kRestartRequested;
  return true;
}

void AviRecorder::RequestStop() {
  std::lock_guard lock(mutex_);
  const uint32_t state = state_.load();
  if (state == kStartRequested) state_ = kIdle;
  if (state == kRecording || state == kRestartRequested) state_ = kStopRequested;
}

bool AviRecorder::IsRecording() const {
  return state_.load() != kIdle;
}

uint32_t AviRecorder::state() const {
  return state_.load();
}

void AviRecorder::SetSize(int32_t width, int32_t height) {
  if (width < 1 || height < 1) return;
  runningSize_ = uint64_t(uint32_t(width)) << 32 | uint32_t(height);
}

std::pair<int32_t, int32_t> AviRecorder::runningSize() const {
  const uint64_t size = runningSize_.load();
  return {int32_t(size >> 32), int32_t(uint32_t(size))};
}

void AviRecorder::describeStream(const RecordedStreamFacts& facts) {
  std::lock_guard lock(mutex_);
  facts_ = facts;
}

std::vector<std::string> AviRecorder::filesWritten() const {
  std::lock_guard lock(mutex_);
  return files_;
}

bool AviRecorder::AddFrame(std::span<const uint8_t> picture) {
  if (!takeRequests() || !active_) return false;
  const auto [width, height] = runningSize();
  writer_.SetSize(width, height);
  const uint32_t now = clock_.tickCount();
  if (!storeInRing(picture, now)) return false;
  pace();
  return true;
}

// Requests only set the state; the intake begins and ends recordings here, with the next picture.
bool AviRecorder::takeRequests() {
  uint32_t state = state_.load();
  if (state == kIdle || state == kRecording) return state == kRecording;
  std::unique_lock lock(mutex_);
  state = state_.load();
  if (state == kIdle || state == kRecording) return state == kRecording;
  if (state == kStopRequested || state == kRestartRequested) {
    lock.unlock();
    finish();
    lock.lock();
    if (state_ == kStopRequested) state_ = kIdle;
    if (state_ != kRestartRequested) return false;
  }
  const Request request = request_;
  const RecordedStreamFacts facts = facts_;
  state_ = kRecording;
  lock.unlock();
  return begin(request, facts);
}

bool AviRecorder::begin(const Request& request, const RecordedStreamFacts& facts) {
  emptyRing();
  owedMs_ = 0;
  kind_ = request.kind;
  pace_ = paceFor(request.fps > 0 ? request.fps : int64_t(facts.frameRate));
  const auto [runningWidth, runningHeight] = runningSize();
  if (request.width > 0) {
    width_ = request.width, height_ = request.height;
  } else if (runningWidth > 0) {
    width_ = runningWidth, height_ = runningHeight;
  } else {
    width_ = int32_t(facts.width), height_ = int32_t(facts.height);
  }
  base_ = request.base;
  extension_ = request.extension;
  fileNumber_ = 0;
  // A camera may send its parameter sets only in the description.
  if (!facts.sps.empty()) sets_.store(facts.sps);
  if (!facts.pps.empty()) sets_.store(facts.pps);
  {
    std::lock_guard lock(mutex_);
    files_.clear();
  }
  active_ = true;
  return openNextFile();
}

bool AviRecorder::openNextFile() {
  char number[16];
  std::snprintf(number, sizeof(number), "%03u", ++fileNumber_);
  const std::string path = base_ + number + extension_;
  // Files after the first carry the size of the pictures as they are now.
  const auto [runningWidth, runningHeight] = runningSize();
  const bool later = fileNumber_ > 1 && runningWidth > 0;
  int32_t result = writer_.Open(path, kind_, pace_.fps, later ? runningWidth : width_,
                                later ? runningHeight : height_);
  if (result == kAviWritten) {
    std::lock_guard lock(mutex_);
    files_.push_back(path);
  }
  if (result == kAviWritten) result = writer_.WriteHeader();
  if (result == kAviWritten) return true;
  failed(result);
  return false;
}

bool AviRecorder::storeInRing(std::span<const uint8_t> picture, uint32_t now) {
  Slot& slot = ring_[next_];
  if (kind_ == kAviKindJpeg) {
    if (picture.size() > kMaxJpegPictureBytes) return false;
    slot.data.assign(picture.begin(), picture.end());
    slot.key = true;
  } else {
    if (picture.size() > kMaxH264UnitBytes) return false;
    switch (prepareH264Unit(picture, sets_, slot.data, slot.key)) {
      case H264UnitUse::kRefused:
        return false;
      case H264UnitUse::kStoredOnly:
        return true;
      case H264UnitUse::kWrite:
        break;
    }
  }
  slot.arrival = now;
  slot.filled = true;
  next_ = (next_ + 1) % kRingSlots;
  return true;
}

// Writes the oldest picture once the ring is full, as often as the frame rate needs to cover the
// time until the next one: that gap, or the average over the five newer when it is steady.
void AviRecorder::pace() {
  Slot& oldest = ring_[next_];
  if (!oldest.filled) return;
  const uint32_t gap = ring_[(next_ + 1) % kRingSlots].arrival - oldest.arrival;
  if (writePicture(oldest, framesFor(gap), RepeatKey::kKey, false)) {
    oldest.filled = false;
    oldest.data.clear();
  }
}

// A picture lasts the frames due up to the next one's arrival, counted with the time the pictures
// before it were written over or under their gaps, and is written at least once. Rounding each
// gap on its own would drift from real time: pictures bunched by the network (or a decoder
// catching up) each take a frame they do not last, and 20 pictures a second at 30 frames would
// play at two thirds of their speed. How far ahead the file may run is capped, so a burst is paid
// back but a long stretch of pictures faster than the frame rate is not.
uint64_t AviRecorder::framesFor(uint32_t gapMs) {
  const int64_t owed = owedMs_ + int64_t(gapMs);
  const int64_t due = std::max<int64_t>(owed + pace_.roundingMs, 0) / pace_.periodMs;
  const int64_t times = std::max<int64_t>(due, 1);
  owedMs_ = std::max(owed - times * pace_.periodMs, -kMaxAheadMs);
  return uint64_t(times);
}

// A picture the file refuses goes into the next one; one no file could hold is dropped.
bool AviRecorder::writeFrame(std::span<const uint8_t> data, bool key) {
  int32_t result = writer_.WriteFrame(data, key);
  if (refused(result) && writer_.fitsEmptyFile(data.size())) {
    if (!openNextFile()) return false;
    result = writer_.WriteFrame(data, key);
  }
  if (result != kAviWriteFailed) return true;
  failed(result);
  return false;
}

bool AviRecorder::writePicture(const Slot& slot, uint64_t times, RepeatKey repeatKey,
                               bool atClose) {
  if (!writeFrame(slot.data, slot.key)) return false;
  const bool h264 = kind_ == kAviKindH264;
  const std::span<const uint8_t> repetition =
      h264 ? std::span<const uint8_t>(kRepeatDelimiter) : std::span<const uint8_t>();
  const bool key = !h264 && repeatKey == RepeatKey::kKey;
  for (uint64_t i = 1; i < times; ++i) {
    const int32_t result = writer_.WriteFrame(repetition, key);
    if (result == kAviWriteFailed) {
      failed(result);
      return false;
    }
    // The rest of this picture's time is dropped; at the close no new file is begun for it.
    if (refused(result)) return atClose || openNextFile();
  }
  return true;
}

void AviRecorder::Close() {
  finish();
  std::lock_guard lock(mutex_);
  state_ = kIdle;
}

// The pictures still held have no successor to measure against: the last is written once, the
// others by their gaps, or all by the average gap when five are held and it is steady.
void AviRecorder::finish() {
  if (!active_ || !writer_.isOpen()) {
    active_ = false;
    emptyRing();
    return;
  }
  std::array<const Slot*, kRingSlots> held{};
  size_t count = 0;
  for (size_t i = 1; i <= kRingSlots; ++i) {
    const Slot& slot = ring_[(next_ + i) % kRingSlots];
    if (slot.filled) held[count++] = &slot;
  }
  if (count == kRingSlots) count = 0;  // the intake stopped between storing and writing
  const uint32_t average =
      count == kPicturesInAverage ? (held[4]->arrival - held[0]->arrival) / kGapsInCloseAverage : 0;
  const bool steady = count == kPicturesInAverage &&
                      distance(average, held[1]->arrival - held[0]->arrival) <= pace_.periodMs;
  for (size_t i = 0; i < count; ++i) {
    uint64_t times = 1;
    if (steady) {
      times = framesFor(average);
    } else if (i + 1 < count) {
      times = framesFor(held[i + 1]->arrival - held[i]->arrival);
    }
    if (!writePicture(*held[i], times, RepeatKey::kNotKey, true)) return;
  }
  const int32_t result = writer_.Close();
  if (result != kAviWritten) failed(result);
  active_ = false;
  emptyRing();
}

void AviRecorder::emptyRing() {
  for (Slot& slot : ring_) {
    slot.filled = false;
    slot.data.clear();
  }
  next_ = 0;
}

// A recording the disk refuses ends at once: no next file would fare better.
void AviRecorder::failed(int32_t result) {
  const std::string text = "Recording stopped: cannot write " + writer_.path() + ": " +
                           std::error_code(writer_.lastError(), std::generic_category()).message() +
                           " (" + std::to_string(result) + ")";
  endRecording();
  if (report_) report_(text);
}

void AviRecorder::endRecording() {
  active_ = false;
  emptyRing();
  std::lock_guard lock(mutex_);
  const uint32_t state = state_.load();
  if (state == kRecording || state == kStopRequested) state_ = kIdle;
}

}  // namespace vexa
