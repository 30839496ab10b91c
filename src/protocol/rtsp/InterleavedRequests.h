#pragma once

#include <cstdint>
#include <string>

namespace vexa::rtsp {

constexpr const char* kUserAgent = "Halvorin V.2008-02-25";
constexpr int kVideoChannel = 0;
constexpr int kAudioChannel = 2;

// The requests of the interleaved dialogue, byte for byte as cameras of this system expect them.
// session is the Session header's value as it was extracted (with its leading blank).
std::string describeRequest(const std::string& url, uint32_t cseq);
// Asks for RTP on firstChannel and RTCP on the next one. A session (the video's, for the audio
// track) joins the track to it; empty: no Session line.
std::string interleavedSetupRequest(const std::string& url, uint32_t cseq, int firstChannel,
                                    const std::string& session = {});
std::string playRequest(const std::string& url, uint32_t cseq, const std::string& session);
std::string teardownRequest(const std::string& url, uint32_t cseq, const std::string& session);

}  // namespace vexa::rtsp
