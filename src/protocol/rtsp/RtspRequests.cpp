#include "protocol/rtsp/RtspRequests.h"

#include "protocol/rtsp/SessionDescription.h"

namespace vexa::rtsp {

namespace {

std::string requestLine(const char* method, const std::string& url, uint32_t cseq) {
  return std::string(method) + " " + url + " RTSP/1.0\r\nCSeq: " + std::to_string(cseq) + "\r\n";
}

// The last header line, then the extra one when there is one, then the empty line.
std::string lastHeaderAndEnd(const std::string& lastLine, const std::string& extraHeader) {
  const std::string extra = extraHeader.empty() ? std::string() : "\r\n" + extraHeader;
  return lastLine + extra + "\r\n\r\n";
}

// "Session:" has no blank of its own: the stored value brings it.
std::string sessionLine(const std::string& session) {
  return session.empty() ? std::string() : "Session:" + session + "\r\n";
}

std::string userAgentLine() { return std::string("User-Agent: ") + kUserAgent; }

std::string userAgentAndEnd() { return lastHeaderAndEnd(userAgentLine(), {}); }

}  // namespace

std::string RequestUrls::control(const std::string& control) const {
  return composeControlUrl(contentBase.empty() ? stream + "/" : contentBase, control);
}

std::string streamUrl(const std::string& host, const std::string& path) {
  return "rtsp://" + host + path;
}

std::string describeRequest(const std::string& url, uint32_t cseq, const std::string& extraHeader) {
  return requestLine("DESCRIBE", url, cseq) + "Accept: application/sdp\r\n" +
         lastHeaderAndEnd(userAgentLine(), extraHeader);
}

std::string interleavedSetupRequest(const std::string& url, uint32_t cseq, int firstChannel,
                                    const std::string& session) {
  return requestLine("SETUP", url, cseq) + sessionLine(session) +
         "Transport: RTP/AVP/TCP;unicast;interleaved=" +
         std::to_string(firstChannel) + "-" + std::to_string(firstChannel + 1) + "\r\n" +
         userAgentAndEnd();
}

// "Session:" has no blank of its own: the stored value brings it.
std::string playRequest(const std::string& url, uint32_t cseq, const std::string& session) {
  return requestLine("PLAY", url, cseq) + "Session:" + session + "\r\nRange: npt=0.000-\r\n" +
         userAgentAndEnd();
}

std::string teardownRequest(const std::string& url, uint32_t cseq, const std::string& session) {
  return requestLine("TEARDOWN", url, cseq) + "Session:" + session + "\r\n" + userAgentAndEnd();
}

std::string udpSetupRequest(const std::string& url, uint32_t cseq, uint16_t rtpPort,
                            uint16_t rtcpPort, const std::string& extraHeader,
                            const std::string& session) {
  return requestLine("SETUP", url, cseq) + sessionLine(session) +
         "Transport: RTP/AVP;unicast;client_port=" +
         std::to_string(rtpPort) + "-" + std::to_string(rtcpPort) + "\r\n" +
         lastHeaderAndEnd(userAgentLine(), extraHeader);
}

std::string udpPlayRequest(const std::string& url, uint32_t cseq, const std::string& session,
                           const std::string& extraHeader) {
  return requestLine("PLAY", url, cseq) + "Range: npt=0.000-\r\n" +
         lastHeaderAndEnd("Session: " + session, extraHeader);
}

std::string udpTeardownRequest(const std::string& url, uint32_t cseq,
                               const std::string& extraHeader) {
  std::string request = requestLine("TEARDOWN", url, cseq);
  request.resize(request.size() - 2);  // the CSeq line is the last header
  return request + lastHeaderAndEnd({}, extraHeader);
}

}  // namespace vexa::rtsp
