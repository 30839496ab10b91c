// Talk received by an independent peer, the ffmpeg command reading an SDP description of the
// stream, in every talk codec at once: what it writes must be the tone the microphone recorded.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "audio/IPCameraAudioWaveIn.h"
#include "audio/TalkPackets.h"
#include "common/StreamConfig.h"
#include "platform/Clock.h"
#include "support/Datagrams.h"
#include "support/TempFolder.h"
#include "support/ToneAnalysis.h"

extern char** environ;

namespace vexa {
namespace {

using test::kAudioSampleRate;
constexpr int kReceivedSeconds = 3;
constexpr size_t kSentSamples = kAudioSampleRate * 7 / 2;  // outlasts what ffmpeg keeps
constexpr double kToneHz = 440;
constexpr double kG711MinSnrDb = 25;
constexpr double kG726ToneBandHalfWidthHz = 10;
constexpr double kG726MinToneShare = 0.9;
constexpr size_t kG726SettlingSamples = 1000;  // the adaptive quantiser finds the level first
constexpr int32_t kTalkCodecs[] = {kAudioCodecPcma,    kAudioCodecPcmu,    kAudioCodecG726_16,
                                   kAudioCodecG726_24, kAudioCodecG726_32, kAudioCodecG726_40};

bool isG711(int32_t codec) {
  return codec == kAudioCodecPcma || codec == kAudioCodecPcmu;
}

// A port P with P + 1 free too, for ffmpeg's RTP and RTCP; the ends held keep the ports chosen
// for the other codecs apart until all are chosen.
uint16_t choosePortPair(std::vector<std::unique_ptr<test::UdpEnd>>& held) {
  while (true) {
    auto rtp = std::make_unique<test::UdpEnd>();
    auto rtcp = std::make_unique<test::UdpEnd>("127.0.0.1", uint16_t(rtp->port() + 1));
    const uint16_t port = rtp->port();
    const bool pair = port != UINT16_MAX && rtcp->bound();
    held.push_back(std::move(rtp));
    held.push_back(std::move(rtcp));
    if (pair) return port;
  }
}

// Whether some socket of the machine is bound to UDP port, read from the kernel's tables rather
// than by binding it, which could make ffmpeg's own bind fail.
bool udpPortBound(uint16_t port) {
  char portField[8];
  std::snprintf(portField, sizeof portField, ":%04X", port);
  for (const char* table : {"/proc/net/udp", "/proc/net/udp6"}) {
    std::ifstream in(table);
    std::string line, slot, local;
    std::getline(in, line);  // the column names
    while (std::getline(in, line)) {
      std::istringstream(line) >> slot >> local;
      if (local.ends_with(portField)) return true;
    }
  }
  return false;
}

std::string sdpFor(int32_t codec, uint16_t port) {
  const int payloadType = *audio::talkPayloadType(codec);
  std::ostringstream sdp;
  sdp << "v=0\n"
      << "o=- 0 0 IN IP4 127.0.0.1\n"
      << "s=talk\n"
      << "c=IN IP4 127.0.0.1\n"
      << "t=0 0\n"
      << "m=audio " << port << " RTP/AVP " << payloadType << "\n"
      << "a=rtpmap:" << payloadType << " " << audio::talkCodecName(codec) << "/" << kAudioSampleRate
      << "\n";
  return sdp.str();
}

// The ffmpeg command receiving the stream an SDP file describes into a WAV file, for
// kReceivedSeconds of it. Destroying it ends it if it still runs.
class FfmpegReceiver {
 public:
  FfmpegReceiver(const std::string& sdpPath, const std::string& wavPath) {
    std::vector<std::string> args = {"ffmpeg",
                                     "-hide_banner",
                                     "-nostdin",
                                     "-loglevel",
                                     "error",
                                     "-protocol_whitelist",
                                     "file,udp,rtp",
                                     "-i",
                                     sdpPath,
                                     "-t",
                                     std::to_string(kReceivedSeconds),
                                     "-y",
                                     wavPath};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (::posix_spawnp(&pid_, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
  }
  FfmpegReceiver(const FfmpegReceiver&) = delete;
  FfmpegReceiver& operator=(const FfmpegReceiver&) = delete;
  ~FfmpegReceiver() {
    if (running()) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  bool started() const { return pid_ > 0; }
  // Whether it ended on its own, with success, within the suite's generous wait.
  bool finished() {
    if (!test::eventually([this] { return !running(); })) return false;
    return WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
  }

 private:
  bool running() {
    if (pid_ > 0 && !exited_ && ::waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
    return pid_ > 0 && !exited_;
  }

  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 0;
};

// One codec's way: the description, ffmpeg on it, and the talk thread sending a live tone.
struct TalkWay {
  TalkWay(int32_t codec, uint16_t port, const test::TempFolder& folder)
      : codec(codec),
        name(audio::talkCodecName(codec)),
        wavPath(folder.file(name + ".wav")),
        microphone({.pcm = test::littleEndianBytes(test::talkTone(kSentSamples, kToneHz)),
                    .chunkBytes = audio::kTalkBufferBytes,
                    .pace = &platform::SystemClock::instance()}),
        talk({"127.0.0.1", 0, {}}, microphone.factory(), nullptr, [codec, port] {
          return TalkTarget{port, codec};
        }) {
    const std::string sdpPath = folder.file(name + ".sdp");
    std::ofstream(sdpPath) << sdpFor(codec, port);
    receiver = std::make_unique<FfmpegReceiver>(sdpPath, wavPath);
  }

  const int32_t codec;
  const std::string name;
  const std::string wavPath;
  std::unique_ptr<FfmpegReceiver> receiver;
  platform::ScriptedMicrophone microphone;
  IPCameraAudioWaveIn talk;
};

TEST(TalkToFfmpeg, FfmpegHearsTheToneInEveryCodec) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "the ffmpeg command is not installed";
  }
  test::TempFolder folder;
  std::vector<uint16_t> ports;
  {
    std::vector<std::unique_ptr<test::UdpEnd>> held;
    for (size_t i = 0; i < std::size(kTalkCodecs); ++i) ports.push_back(choosePortPair(held));
  }
  std::vector<std::unique_ptr<TalkWay>> ways;
  for (size_t i = 0; i < std::size(kTalkCodecs); ++i) {
    ways.push_back(std::make_unique<TalkWay>(kTalkCodecs[i], ports[i], folder));
    ASSERT_TRUE(ways.back()->receiver->started());
  }
  for (const uint16_t port : ports) {
    ASSERT_TRUE(test::eventually([port] { return udpPortBound(port); })) << port;
  }
  for (auto& way : ways) way->talk.post(IPCameraAudioWaveIn::kStartTalk);
  for (auto& way : ways) EXPECT_TRUE(way->receiver->finished()) << way->name;
  for (auto& way : ways) way->talk.quit();

  const std::vector<int16_t> tone = test::talkTone(kSentSamples, kToneHz);
  for (auto& way : ways) {
    SCOPED_TRACE(way->name);
    const std::vector<int16_t> received = test::readWavPcm(way->wavPath);
    EXPECT_EQ(received.size(), size_t(kReceivedSeconds * kAudioSampleRate));
    if (isG711(way->codec)) {
      EXPECT_GE(test::alignedSnrDb(tone, received, audio::kTalkBufferSamples), kG711MinSnrDb);
    } else {
      EXPECT_GE(
          test::bandEnergyShare(received, kToneHz, kG726ToneBandHalfWidthHz, kG726SettlingSamples),
          kG726MinToneShare);
    }
  }
}

}  // namespace
}  // namespace vexa
