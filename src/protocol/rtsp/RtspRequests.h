#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexa::rtsp {

constexpr const char* kUserAgent = "Halvorin V.2008-02-25";
constexpr uint16_t kDefaultPort = 554;

// Where a dialogue's requests go: DESCRIBE to the stream's URL, SETUP to each track's control
// resolved against the base, PLAY, TEARDOWN and keep-alives to the base. Without a Content-Base
// the stream's URL is the base (RFC 2326 section C.1.1).
struct RequestUrls {
  std::string stream;       // streamUrl(host, port, path)
  std::string contentBase;  // from the DESCRIBE answer; empty when absent or not used

  std::string control(const std::string& control) const;
  const std::string& session() const { return contentBase.empty() ? stream : contentBase; }
};
// "rtsp://" + host + path, with ":" + port after the host unless the port is RTSP's own (RFC 2326
// section 3.2: no port means 554, so leaving it out would name another resource). An IPv6 address
// is written in brackets.
std::string streamUrl(const std::string& host, uint16_t port, const std::string& path);

constexpr int kVideoChannel = 0;
constexpr int kAudioChannel = 2;

// The requests of both RTSP dialogues, byte for byte as cameras of this system expect them.
// sessionId is the session id alone (readSessionHeader), sent as "Session: " + id; empty: no
// Session line where one is optional. extraHeader (the UDP road's optional extra line, without its
// line end) becomes the last header.
std::string describeRequest(const std::string& url, uint32_t cseq,
                            const std::string& extraHeader = {});

// ---- RTP interleaved on the RTSP connection ----
// Asks for RTP on firstChannel and RTCP on the next one. A session (the video's, for the audio
// track) joins the track to it.
std::string interleavedSetupRequest(const std::string& url, uint32_t cseq, int firstChannel,
                                    const std::string& sessionId = {});
std::string playRequest(const std::string& url, uint32_t cseq, const std::string& sessionId);
std::string teardownRequest(const std::string& url, uint32_t cseq, const std::string& sessionId);

// ---- RTP over UDP to the client ports ----
std::string udpSetupRequest(const std::string& url, uint32_t cseq, uint16_t rtpPort,
                            uint16_t rtcpPort, const std::string& extraHeader,
                            const std::string& sessionId = {});
// No User-Agent.
std::string udpPlayRequest(const std::string& url, uint32_t cseq, const std::string& sessionId,
                           const std::string& extraHeader);
// No User-Agent.
std::string udpTeardownRequest(const std::string& url, uint32_t cseq,
                               const std::string& sessionId, const std::string& extraHeader);

// ---- RTP to a multicast group the server chooses ----
// The answer's Transport names the group and ports (readMulticastTransport).
std::string multicastSetupRequest(const std::string& url, uint32_t cseq,
                                  const std::string& extraHeader,
                                  const std::string& sessionId = {});

// ---- keeping a playing session alive ----
// GET_PARAMETER (or OPTIONS, for servers without it) naming the session (RFC 2326 section 10.8).
std::string keepAliveRequest(std::string_view method, const std::string& url, uint32_t cseq,
                             const std::string& sessionId, const std::string& extraHeader = {});
constexpr std::string_view kGetParameter = "GET_PARAMETER";
constexpr std::string_view kOptions = "OPTIONS";

}  // namespace vexa::rtsp
