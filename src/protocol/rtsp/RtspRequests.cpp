#include "protocol/rtsp/RtspRequests.h"

#include "common/UrlParts.h"
#include "protocol/rtsp/SessionDescription.h"

namespace vexa::rtsp {

namespace {

std::string requestLine(std::string_view method, const std::string& url, uint32_t cseq) {
  return std::string(method) + " " + url + " RTSP/1.0\r\nCSeq: " + std::to_string(cseq) + "\r\n";
}

// The last header line, then the extra one when there is one, then the empty line.
std::string lastHeaderAndEnd(const std::string& lastLine, const std::string& extraHeader) {
  const std::string extra = extraHeader.empty() ? std::string() : "\r\n" + extraHeader;
  return lastLine + extra + "\r\n\r\n";
}

std::string sessionHeader(const std::string& sessionId) { return "Session: " + sessionId; }

// The Session line; none without a session (an empty Session header is malformed).
std::string sessionLine(const std::string& sessionId) {
  return sessionId.empty() ? std::string() : sessionHeader(sessionId) + "\r\n";
}

std::string userAgentLine() { return std::string("User-Agent: ") + kUserAgent; }

std::string userAgentAndEnd() { return lastHeaderAndEnd(userAgentLine(), {}); }

}  // namespace

std::string RequestUrls::control(const std::string& control) const {
  return composeControlUrl(contentBase.empty() ? stream + "/" : contentBase, control);
}

std::string streamUrl(const std::string& host, uint16_t port, const std::string& path) {
  const std::string portPart = port == kDefaultPort ? std::string() : ":" + std::to_string(port);
  return "rtsp://" + urlHost(host) + portPart + path;
}

std::string describeRequest(const std::string& url, uint32_t cseq, const std::string& extraHeader) {
  return requestLine("DESCRIBE", url, cseq) + "Accept: application/sdp\r\n" +
         lastHeaderAndEnd(userAgentLine(), extraHeader);
}

std::string interleavedSetupRequest(const std::string& url, uint32_t cseq, int firstChannel,
                                    const std::string& sessionId) {
  return requestLine("SETUP", url, cseq) + sessionLine(sessionId) +
         "Transport: RTP/AVP/TCP;unicast;interleaved=" +
         std::to_string(firstChannel) + "-" + std::to_string(firstChannel + 1) + "\r\n" +
         userAgentAndEnd();
}

std::string playRequest(const std::string& url, uint32_t cseq, const std::string& sessionId) {
  return requestLine("PLAY", url, cseq) + sessionLine(sessionId) + "Range: npt=0.000-\r\n" +
         userAgentAndEnd();
}

std::string teardownRequest(const std::string& url, uint32_t cseq, const std::string& sessionId) {
  return requestLine("TEARDOWN", url, cseq) + sessionLine(sessionId) + userAgentAndEnd();
}

std::string udpSetupRequest(const std::string& url, uint32_t cseq, uint16_t rtpPort,
                            uint16_t rtcpPort, const std::string& extraHeader,
                            const std::string& sessionId) {
  return requestLine("SETUP", url, cseq) + sessionLine(sessionId) +
         "Transport: RTP/AVP;unicast;client_port=" +
         std::to_string(rtpPort) + "-" + std::to_string(rtcpPort) + "\r\n" +
         lastHeaderAndEnd(userAgentLine(), extraHeader);
}

std::string multicastSetupRequest(const std::string& url, uint32_t cseq,
                                  const std::string& extraHeader, const std::string& sessionId) {
  return requestLine("SETUP", url, cseq) + sessionLine(sessionId) +
         "Transport: RTP/AVP;multicast\r\n" + lastHeaderAndEnd(userAgentLine(), extraHeader);
}

std::string udpPlayRequest(const std::string& url, uint32_t cseq, const std::string& sessionId,
                           const std::string& extraHeader) {
  return requestLine("PLAY", url, cseq) + "Range: npt=0.000-\r\n" +
         lastHeaderAndEnd(sessionHeader(sessionId), extraHeader);
}

std::string udpTeardownRequest(const std::string& url, uint32_t cseq,
                               const std::string& sessionId, const std::string& extraHeader) {
  std::string request = requestLine("TEARDOWN", url, cseq);
  // Without its session a server refuses the TEARDOWN (454) and streams on until it times out.
  if (!sessionId.empty()) return request + lastHeaderAndEnd(sessionHeader(sessionId), extraHeader);
  request.resize(request.size() - 2);  // the CSeq line is the last header
  return request + lastHeaderAndEnd({}, extraHeader);
}

std::string keepAliveRequest(std::string_view method, const std::string& url, uint32_t cseq,
                             const std::string& sessionId, const std::string& extraHeader) {
  return requestLine(method, url, cseq) + sessionLine(sessionId) +
         lastHeaderAndEnd(userAgentLine(), extraHeader);
}

}  // namespace vexa::rtsp
