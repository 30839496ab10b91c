// Recording throughput: a minute of 1080p H.264 access units and of 720p JPEG pictures, made by
// FFmpeg beforehand, fed to the recorder on a simulated clock and written to a real file; beside
// it FFmpeg copying the same stream into an AVI, timed by the CPU of the child. Rates are
// megabytes of input per CPU-second.
//
// usage: bench_record_writer [--clip_seconds=N] [Google Benchmark options]
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "media/rtp/H264Nal.h"
#include "platform/Clock.h"
#include "record/AviRecorder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Unit = std::span<const uint8_t>;

constexpr int kDefaultClipSeconds = 60;
constexpr int kFps = 30;
constexpr uint32_t kPictureIntervalMs = 33;
constexpr double kBytesPerMb = 1e6;
constexpr std::string_view kClipSecondsFlag = "--clip_seconds=";
constexpr uint8_t kJpegMarker = 0xFF;
constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;

struct Clip {
  std::string name;
  std::string rawFormat;  // FFmpeg's demuxer for the file
  uint32_t kind = vexa::kAviKindJpeg;
  int width = 0;
  int height = 0;
  std::string path;
  std::vector<uint8_t> bytes{};
  std::vector<Unit> units{};  // into bytes
};

double cpuSeconds(const rusage& usage) {
  const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs a program to its end: its user + system CPU seconds, or nothing when it failed.
std::optional<double> runChild(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return std::nullopt;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return std::nullopt;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return cpuSeconds(usage);
}

std::vector<std::string> ffmpegCommand(std::vector<std::string> arguments) {
  std::vector<std::string> command = {"ffmpeg",    "-nostdin", "-hide_banner",
                                      "-loglevel", "error",    "-y"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
}

std::string testSource(int width, int height, int seconds) {
  return "testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) +
         ":rate=" + std::to_string(kFps) + ":duration=" + std::to_string(seconds);
}

// Access units begin at the delimiters FFmpeg put in front of each; a unit keeps its delimiter,
// so the units together are the file's bytes, as FFmpeg reads them.
std::vector<Unit> splitAtDelimiters(Unit stream) {
  std::vector<size_t> starts;
  vexa::rtp::forEachNalUnit(stream, [&](Unit nal) {
    if (nal.empty() || vexa::rtp::nalType(nal[0]) != vexa::rtp::kNalAccessUnitDelimiter) {
      return true;
    }
    size_t start = size_t(nal.data() - stream.data()) - 3;
    if (start > 0 && stream[start - 1] == 0) --start;  // a 4-byte start code
    starts.push_back(start);
    return true;
  });
  std::vector<Unit> units;
  for (size_t i = 0; i < starts.size(); ++i) {
    const size_t end = i + 1 < starts.size() ? starts[i + 1] : stream.size();
    units.push_back(stream.subspan(starts[i], end - starts[i]));
  }
  return units;
}

// A picture runs from its start-of-image marker to its end-of-image marker; entropy-coded data
// stuffs every 0xFF, so the end marker appears nowhere else.
std::vector<Unit> splitAtImageMarkers(Unit stream) {
  std::vector<Unit> pictures;
  const auto markerAt = [&](size_t at, uint8_t code) {
    return stream[at] == kJpegMarker && stream[at + 1] == code;
  };
  size_t start = 0;
  bool inPicture = false;
  for (size_t at = 0; at + 1 < stream.size(); ++at) {
    if (!inPicture && markerAt(at, kStartOfImage)) {
      start = at, inPicture = true;
    } else if (inPicture && markerAt(at, kEndOfImage)) {
      pictures.push_back(stream.subspan(start, at + 2 - start));
      inPicture = false;
      ++at;
    }
  }
  return pictures;
}

bool readWhole(const std::string& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return in.good() || in.eof();
}

// Encodes the clip with FFmpeg and cuts it into the units a camera path would hand over.
bool makeClip(Clip& clip, const std::vector<std::string>& encoder, int seconds) {
  std::vector<std::string> arguments = {"-f", "lavfi", "-i",
                                        testSource(clip.width, clip.height, seconds)};
  arguments.insert(arguments.end(), encoder.begin(), encoder.end());
  arguments.insert(arguments.end(), {"-f", clip.rawFormat, clip.path});
  if (!runChild(ffmpegCommand(arguments)) || !readWhole(clip.path, clip.bytes)) return false;
  clip.units = clip.kind == vexa::kAviKindH264 ? splitAtDelimiters(clip.bytes)
                                               : splitAtImageMarkers(clip.bytes);
  return !clip.units.empty();
}

void setRate(benchmark::State& state, const Clip& clip, double cpuSeconds) {
  const double megabytes = double(clip.bytes.size()) * double(state.iterations()) / kBytesPerMb;
  state.counters["MB_per_cpu_s"] = cpuSeconds > 0 ? megabytes / cpuSeconds : 0.0;
  state.counters["units"] = double(clip.units.size());
}

double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return cpuSeconds(usage);
}

// The recorder as the viewer runs it, one picture every 33 ms of its clock, a new recording each
// iteration (open, header, chunks, checkpoints, index, close).
void BM_VexaRecord(benchmark::State& state, const Clip& clip, const fs::path& folder) {
  vexa::platform::ManualClock clock;
  std::string failure;
  vexa::AviRecorder recorder([&](const std::string& text) { failure = text; }, clock);
  const std::string target = (folder / ("vexa-" + clip.name + ".avi")).string();
  double cpu = 0;
  for (auto _ : state) {
    const double before = processCpuSeconds();
    recorder.RequestStart(target, clip.kind, kFps, clip.width, clip.height);
    for (const Unit unit : clip.units) {
      recorder.AddFrame(unit);
      clock.advance(kPictureIntervalMs);
    }
    recorder.Close();
    cpu += processCpuSeconds() - before;
  }
  const std::vector<std::string> files = recorder.filesWritten();
  std::error_code error;
  if (!failure.empty()) {
    state.SkipWithError(failure.c_str());
  } else if (files.size() != 1 || fs::file_size(files[0], error) < clip.bytes.size()) {
    state.SkipWithError("the recording lacks pictures");
  }
  setRate(state, clip, cpu);
}

// FFmpeg's copy of the same file into an AVI; the iteration's time is the child's CPU time.
void BM_FfmpegCopyToAvi(benchmark::State& state, const Clip& clip, const fs::path& folder) {
  const std::string out = (folder / ("ffmpeg-" + clip.name + ".avi")).string();
  const std::vector<std::string> command =
      ffmpegCommand({"-f", clip.rawFormat, "-framerate", std::to_string(kFps), "-i", clip.path,
                     "-c", "copy", out});
  double cpu = 0;
  for (auto _ : state) {
    const std::optional<double> seconds = runChild(command);
    if (!seconds) {
      state.SkipWithError("ffmpeg failed");
      break;
    }
    state.SetIterationTime(*seconds);
    cpu += *seconds;
  }
  setRate(state, clip, cpu);
}

int clipSeconds(int& argc, char** argv) {
  int seconds = kDefaultClipSeconds;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument.starts_with(kClipSecondsFlag)) {
      seconds = std::max(1, std::atoi(argv[i] + kClipSecondsFlag.size()));
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  return seconds;
}

fs::path makeTemporaryFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vexa-recbench-XXXXXX";
  return mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
}

int runBenchmarks(int& argc, char** argv, const fs::path& folder, int seconds) {
  Clip h264{.name = "h264_1920x1080",
            .rawFormat = "h264",
            .kind = vexa::kAviKindH264,
            .width = 1920,
            .height = 1080,
            .path = (folder / "in.h264").string()};
  Clip jpeg{.name = "mjpeg_1280x720",
            .rawFormat = "mjpeg",
            .kind = vexa::kAviKindJpeg,
            .width = 1280,
            .height = 720,
            .path = (folder / "in.mjpeg").string()};
  const bool made = makeClip(h264,
                             {"-pix_fmt", "yuv420p", "-c:v", "libx264", "-bsf:v",
                              "h264_mp4toannexb,h264_metadata=aud=insert"},
                             seconds) &&
                    makeClip(jpeg, {"-c:v", "mjpeg", "-q:v", "5"}, seconds);
  if (!made) {
    std::printf("recording writer benchmark skipped: ffmpeg could not make the input clips\n");
    return 0;
  }
  // The lambdas refer to the clips, which outlive the run.
  for (const Clip* clip : {&h264, &jpeg}) {
    benchmark::RegisterBenchmark(
        ("BM_VexaRecord/" + clip->name).c_str(),
        [clip, &folder](benchmark::State& state) { BM_VexaRecord(state, *clip, folder); })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(
        ("BM_FfmpegCopyToAvi/" + clip->name).c_str(),
        [clip, &folder](benchmark::State& state) { BM_FfmpegCopyToAvi(state, *clip, folder); })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = clipSeconds(argc, argv);
  const fs::path folder = makeTemporaryFolder();
  if (folder.empty()) {
    std::perror("bench_record_writer: temporary folder");
    return 1;
  }
  const int result = runBenchmarks(argc, argv, folder, seconds);
  std::error_code error;
  fs::remove_all(folder, error);
  return result;
}
