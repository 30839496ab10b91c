#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/CriticalSection.h"
#include "media/IPCameraH264.h"
#include "media/Mpeg4PlayThread.h"
#include "media/PictureFormat.h"
#include "media/rtp/Depacketizer.h"
#include "media/rtp/Mpeg4Depacketizer.h"
#include "media/rtp/ReceptionFigures.h"
#include "media/rtp/RtpSequenceTracker.h"
#include "net/DatagramWorker.h"
#include "common/StreamConfig.h"

namespace vexa {

class H264Decoder;

// The video RTP of one UDP or multicast stream: its own socket and receive thread, the UDP
// road's sequence accounting, and the hand-off of whole pictures by codec. JPEG pictures wait
// for the display behind the manager's lock; H.264 access units go to the decode thread without
// the receive thread ever waiting; whole MPEG-4 pictures go to the play thread.
class IPCameraMediaManager {
 public:
  // Bursts of large pictures must fit in the socket while the thread catches up.
  static constexpr int kSocketReceiveBufferBytes = 0x40000;
  // The payload type MPEG-4 must arrive with, the dynamic type cameras give it. JPEG must carry
  // its static type (rtp::kJpegPayloadType); H.264 is taken under any type.
  static constexpr uint8_t kMpeg4PayloadType = rtp::kMpeg4PayloadType;

  // model: the IPCAMERA_VIDEO_MODEL of the stream, which fixes the codec.
  explicit IPCameraMediaManager(uint32_t model);
  IPCameraMediaManager(const IPCameraMediaManager&) = delete;
  IPCameraMediaManager& operator=(const IPCameraMediaManager&) = delete;
  virtual ~IPCameraMediaManager();

  // The player's H.264 decoder (not owned); any thread.
  void setDecoder(H264Decoder* decoder);
  // H.264 models: the recording tap of the decode thread.
  void setRecordingSink(RecordingSink* sink);
  // MPEG-4 models: where the play thread's failures are told.
  void setDialogs(platform::Dialogs* dialogs);
  // What a new session's description told (H.264 parameter sets). Any thread, also while
  // running: it takes effect from the next datagram, which begins the new session.
  void configure(const StreamConfig& config);

  // Binds port (joining multicastGroup on interfaceAddress when the group is a multicast
  // address) and starts the receive thread: platform::StartResult.
  int start(const std::string& multicastGroup, const std::string& interfaceAddress, uint16_t port);
  // Ends the receive thread and the decode thread and waits for both.
  void stop();
  // The receive thread runs; false once a socket failure ended it.
  bool running() const { return worker_.running(); }
  // The port is bound and datagrams are received.
  bool listening() const { return worker_.listening(); }

  // One datagram as received. The receive thread calls it; anyone else only while the thread
  // does not run.
  void processDatagram(std::span<const uint8_t> datagram);

  // JPEG models: the newest completed picture and its length (-1 and null before the first);
  // valid while imageLock() is held. Always true.
  bool GetJpegFrame(const uint8_t** data, int32_t* length) const;
  // H.264 models: the oldest decoded picture, bottom-up (see IPCameraH264::GetH264Frame); -1
  // when none waits.
  int32_t GetH264Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info);
  int32_t LendH264Frame(PictureLease* lease, BITMAPINFOHEADER* info);
  // MPEG-4 models: the decoded picture (see Mpeg4PlayThread::GetMpeg4Frame); -1 when none.
  int32_t GetMpeg4Frame(uint8_t* image, int32_t* size, BITMAPINFOHEADER* info);
  // The lock and counter of the model's picture source, for the site to publish: the
  // manager's own for JPEG, the decode thread's for H.264, the play thread's for MPEG-4.
  CLFXCriticalSection& imageLock();
  const std::atomic<uint32_t>& pictureCounter() const;

  // RTP packets of the camera's stream taken since creation (a count that only grows).
  uint64_t packetsReceived() const { return packets_.load(std::memory_order_relaxed); }
  // Datagram bytes received since the previous call.
  uint32_t takeReceivedBytes() { return receivedBytes_.exchange(0, std::memory_order_relaxed); }
  // Packets lost so far; never reset.
  int32_t lostPackets() const { return int32_t(published_.lostPackets()); }
  // For the receiver reports, from any thread; the figures may mix two packets.
  ReceptionFigures figures() const { return published_.load(); }
  // Datagrams dropped for what they were: not RTP (runts too), or another payload type than the
  // codec's.
  uint32_t droppedDatagrams() const { return dropped_.load(std::memory_order_relaxed); }
  // MPEG-4 models: the play thread.
  Mpeg4PlayThread* playThread() { return playThread_.get(); }

 private:
  enum class Codec { kJpeg, kMpeg4, kH264 };

  static Codec codecOf(uint32_t model);
  bool payloadTypeFits(uint8_t payloadType) const;
  void applyPendingConfiguration();
  void drop(const char* why, size_t size);
  // Starts the model's decode or play thread, if it has one; false when it could not start.
  bool startDecoding();
  void deliver(const rtp::RtpPacket& packet, bool lossBefore);
  void publishJpeg(std::span<const uint8_t> picture);

  const Codec codec_;

  // Receive thread only (see processDatagram).
  rtp::RtpSequenceTracker tracker_;
  std::unique_ptr<rtp::Depacketizer> depacketizer_;
  bool decodeThreadStarted_ = false;

  // H.264 and MPEG-4 models respectively. Declared before the worker, which feeds them and so
  // must end first.
  std::unique_ptr<IPCameraH264> decodeThread_;
  std::unique_ptr<Mpeg4PlayThread> playThread_;

  // The completed JPEG picture.
  mutable CLFXCriticalSection lock_;
  std::vector<uint8_t> completedJpeg_;  // under lock_
  bool haveJpeg_ = false;               // under lock_
  std::atomic<uint32_t> completedPictures_{0};

  std::mutex configMutex_;
  std::optional<StreamConfig> pendingConfig_;  // under configMutex_
  std::atomic<bool> configPending_{false};

  std::atomic<uint32_t> receivedBytes_{0};
  std::atomic<uint64_t> packets_{0};
  PublishedReceptionFigures published_;
  std::atomic<uint32_t> dropped_{0};

  DatagramWorker worker_;
};

}  // namespace vexa
