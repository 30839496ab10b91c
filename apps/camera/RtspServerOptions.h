#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "camera/AudioCodec.h"
#include "camera/FisheyeLens.h"
#include "camera/H264UnitLayout.h"
#include "camera/PtzControl.h"
#include "camera/Redirect.h"
#include "camera/ServerAuthenticator.h"
#include "camera/SessionDescription.h"
#include "camera/VideoDump.h"
#include "platform/Clock.h"

namespace vexa::camera {

struct RtspServerOptions {
  static constexpr size_t kMinRtpPacketSize = 256;
  static constexpr size_t kMaxRtpPacketSize = 0xFFFF;  // what an interleaved frame can hold

  std::string bindAddress = "127.0.0.1";  // IPv4 or IPv6
  uint16_t port = 0;                      // 0: an ephemeral port, see RtspServer::port()
  int width = 640;
  int height = 480;
  int fps = 10;
  int quality = 70;  // JPEG, 1..100
  AudioCodec audio = AudioCodec::Pcmu;
  // With audio: the UDP port talk audio from clients arrives at, named by the descriptions' audio
  // lines; 0: one the system picks, see RtspServer::talkPort().
  uint16_t talkPort = 0;
  std::string talkWavPath;  // the talk audio also goes to this WAV file; empty: none
  // SPS and PPS in one STAP-A packet instead of one packet each.
  bool stapA = false;
  H264UnitLayout h264Layout;  // delimiters, SEI, parameter sets in band or not
  // The MPEG-4 configuration also in front of every intra VOP, not only in the description.
  bool mpeg4ConfigInBand = false;
  int keyFrameInterval = 0;  // pictures between H.264 and MPEG-4 key frames; 0: one a second
  uint8_t h264PayloadType = kDefaultH264PayloadType;
  size_t maxRtpPacketSize = 1400;  // RTP header included
  int senderReportIntervalMs = 5000;
  // A connection that hears nothing from its client for this long is closed, its session torn
  // down; 0: never. Announced in the Session header.
  int sessionTimeoutSeconds = 60;
  // Whether receiver reports (and any interleaved frame) count as hearing from the client, or
  // only requests do.
  bool rtcpKeepsAlive = true;

  // When either is set, every request but OPTIONS needs these credentials, by auth's scheme.
  std::string user;
  std::string password;
  AuthScheme auth = AuthScheme::Basic;
  int nonceLifetimeSeconds = 60;
  const platform::Clock* clock = nullptr;  // measures nonce ages; the system's when null

  bool refuseUdp = false;  // SETUP for RTP over UDP gets 461
  bool lfOnly = false;     // answers end their lines in LF alone
  std::vector<Redirect> redirects;
  // Every connection is dropped this long after it was accepted, as by a camera that reboots;
  // 0: never. RtspServer::dropAllConnections() drops them on demand.
  int dropAfterMs = 0;
  bool logRequests = false;        // echo each request on stderr besides RtspServer::requestLog()
  VideoDump* videoDump = nullptr;  // receives the pictures sessions send; outlives the server
  PtzControl* ptz = nullptr;       // the view every stream shows; outlives the server
  // When set, every stream goes to this group (224.0.0.0/4, kept on the host) from start, and
  // DESCRIBE names the group and ports instead of offering SETUP.
  std::string multicastGroup;
  uint16_t multicastPort = 15000;  // the first stream's video; the others follow two apart
  bool multicastSessionConnection = false;  // the group on a session-level connection line
  // Describes the group as other senders of this kind do: the group at session level, the
  // configuration in lower case ending in ';', the sound in the stream's own description and no
  // "/audio" description.
  bool multicastCommonDescription = false;
  // With multicastGroup: the descriptions name no group (port 0, "c=IN IP4 0.0.0.0"), as
  // standard servers write them; a SETUP asking for multicast is told the group and the stream's
  // ports, and the session sends to the group from PLAY until TEARDOWN or its time-out.
  bool multicastSetup = false;
  std::optional<FisheyeSettings> fisheye;  // every stream's pictures lie on a room's floor, seen
                                           // through it
};

}  // namespace vexa::camera
