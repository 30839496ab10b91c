#pragma once

#include <cstdint>
#include <string>

namespace vexa::rtsp {

constexpr const char* kUserAgent = "Halvorin V.2008-02-25";

// Where a dialogue's requests go: DESCRIBE to the stream's URL, SETUP to each track's control
// resolved against the base, PLAY and TEARDOWN to the base. Without a Content-Base the stream's
// URL is the base (RFC 2326 section C.1.1).
struct RequestUrls {
  std::string stream;       // "rtsp://" + host + path
  std::string contentBase;  // from the DESCRIBE answer; empty when absent or not used

  std::string control(const std::string& control) const;
  const std::string& session() const { return contentBase.empty() ? stream : contentBase; }
};
std::string streamUrl(const std::string& host, const std::string& path);
constexpr int kVideoChannel = 0;
constexpr int kAudioChannel = 2;

// The requests of both RTSP dialogues, byte for byte as cameras of this system expect them.
// session is the Session header's value as it was extracted (with its leading blank). extraHeader
// (the UDP road's optional extra line, without its line end) becomes the last header.
std::string describeRequest(const std::string& url, uint32_t cseq,
                            const std::string& extraHeader = {});

// ---- RTP interleaved on the RTSP connection ----
// Asks for RTP on firstChannel and RTCP on the next one. A session (the video's, for the audio
// track) joins the track to it; empty: no Session line.
std::string interleavedSetupRequest(const std::string& url, uint32_t cseq, int firstChannel,
                                    const std::string& session = {});
std::string playRequest(const std::string& url, uint32_t cseq, const std::string& session);
std::string teardownRequest(const std::string& url, uint32_t cseq, const std::string& session);

// ---- RTP over UDP to the client ports ----
// A session (the video's, for the audio track) joins the track to it; empty: no Session line.
std::string udpSetupRequest(const std::string& url, uint32_t cseq, uint16_t rtpPort,
                            uint16_t rtcpPort, const std::string& extraHeader,
                            const std::string& session = {});
// No User-Agent; "Session: " has its own blank besides the stored one.
std::string udpPlayRequest(const std::string& url, uint32_t cseq, const std::string& session,
                           const std::string& extraHeader);
// Neither User-Agent nor Session.
std::string udpTeardownRequest(const std::string& url, uint32_t cseq,
                               const std::string& extraHeader);

}  // namespace vexa::rtsp
