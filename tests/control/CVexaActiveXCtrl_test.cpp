#include "control/CVexaActiveXCtrl.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "control/DispatchTable.h"
#include "display/CImgDlg.h"
#include "media/Deinterlace.h"
#include "platform/Clock.h"
#include "platform/Thread.h"
#include "session/StreamPlayer.h"
#include "support/TempFolder.h"

namespace vexa {
namespace {

constexpr uint16_t kNothingListens = 1;

// A control on a hand-stepped loop whose streams go to a loopback port nobody listens on.
struct ControlFixture {
  test::TempFolder temp;
  platform::RecordingDialogs dialogs;
  platform::ManualClock clock;
  platform::UiLoop loop{clock};
  std::vector<std::string> resolved;
  int foldersAsked = 0;
  CVexaActiveXCtrl control{ControlHost{
      .dialogs = dialogs,
      .loop = loop,
      .chooseFolder = [this] { return ++foldersAsked, std::string("/tmp"); },
      .resolve = [this](const std::string& name) {
        resolved.push_back(name);
        return std::string("127.0.0.1");
      }}};

  void createWindow() {
    control.createWindow(320, 240);
    control.player()->setMarkerFolder(temp.path() + "/");
  }
  StreamConfig& config() { return control.player()->config(); }
  void waitForSite() {
    while (!control.player()->hasSite()) platform::sleepMs(1);
  }
  std::string address(const std::string& path = "") {
    return "127.0.0.1:" + std::to_string(kNothingListens) + path;
  }
};

std::vector<ScriptValue> sampleArguments(const DispatchEntry& entry) {
  std::vector<ScriptValue> args;
  for (const ScriptParam& param : entry.params) {
    switch (param.type) {
      case ScriptType::kBstr: args.emplace_back(std::string("/tmp")); break;
      case ScriptType::kI4: args.emplace_back(int32_t(1)); break;
      case ScriptType::kBool: args.emplace_back(true); break;
      case ScriptType::kR8: args.emplace_back(0.5); break;
      case ScriptType::kBstrOut: args.emplace_back(std::string("unchanged")); break;
      case ScriptType::kNone: break;
    }
  }
  return args;
}

TEST(CVexaActiveXCtrl, EveryMemberInDispatchOrderAnswersWithoutEffectBeforeTheWindowExists) {
  const ScriptValue none;
  const std::vector<std::pair<std::string_view, ScriptValue>> expected = {
      {"Start", -1},          {"Stop", 0},
      {"Play", -1},           {"Mic", -1},
      {"Mute", -1},           {"JpegCapture", 1},
      {"FullScreen", 0},      {"FishEyeCalibrate", 0},
      {"SendHttpRequest", 0}, {"GetHttpReqStatus", -1},
      {"GetHTTPResponse", 1}, {"Record", -1},
      {"GetAttrStr", ""},     {"Multicast", 0},
      {"Sync", 11},           {"VideoFormat", 1},
      {"AudioFormat", 11},    {"RecodingSize", 11},
      {"Protocol", 1},        {"SetAttrStr", 1},
      {"SetAttrInt", 1},      {"AddClientMask", none},
      {"RemoveClientMask", -1}, {"SetClientMaskColor", none},
      {"AddMotionByName", none}, {"RemoveMotionByName", none},
      {"GetMotionPointByName", -1}, {"AddRoi", none},
      {"RemoveRoi", none},    {"GetRoiPoint", -1},
      {"AddMotion", -1},      {"RemoveMotion", -1},
      {"GetMotionPoint", -1}, {"AdjustMotion", none},
      {"ShowMotionState", none}, {"CloseMotionState", none},
      {"StartMotion", none},  {"AddMask", none},
      {"RemoveMask", none},   {"GetMaskPoint", -1},
      {"SelectFolder", ""},   {"SetDeinterlace", none},
  };
  ControlFixture f;
  const auto table = dispatchTable();
  ASSERT_EQ(table.size(), expected.size());
  for (size_t i = 0; i < table.size(); ++i) {
    const DispatchEntry& entry = table[i];
    EXPECT_EQ(entry.name, expected[i].first);
    EXPECT_EQ(entry.dispId, int32_t(i + 1));
    std::vector<ScriptValue> args = sampleArguments(entry);
    const ScriptValue answer = entry.invoke(f.control, args);
    EXPECT_EQ(answer, expected[i].second) << entry.name;
    if (entry.name == "GetHTTPResponse") EXPECT_EQ(args[0], ScriptValue(std::string()));
  }
  EXPECT_EQ(f.foldersAsked, 0);
  EXPECT_FALSE(deinterlaceEnabled());
  EXPECT_FALSE(f.control.started());
  EXPECT_TRUE(f.resolved.empty());
  f.createWindow();
  EXPECT_TRUE(f.control.videoWindow()->overlays().elements().empty());
  EXPECT_EQ(f.control.GetAttrStr("VIEWER_VERSION"), "1.16.2");
}

TEST(CVexaActiveXCtrl, StartPlayAndTheModelTablesOfTheSoundSwitches) {
  ControlFixture f;
  f.createWindow();
  EXPECT_EQ(f.control.GetProtocol(), 1);
  for (const int32_t refused : {3, 11, 16, -1, 20}) {
    EXPECT_EQ(f.control.Play(f.address(), refused), -1) << refused;
  }
  EXPECT_EQ(f.control.GetProtocol(), 1);
  EXPECT_FALSE(f.control.started());

  EXPECT_EQ(f.control.Play(f.address(), IPCAMERA_VIDEO_MODEL_HTTP_MJPEG), 0);
  EXPECT_TRUE(f.control.started());
  EXPECT_EQ(f.config().httpPort, kNothingListens);
  f.waitForSite();
  EXPECT_EQ(f.control.Mute(true), -1);  // MJPEG has no sound
  EXPECT_EQ(f.control.Mic(true), -1);
  const IPCameraSite* site = f.control.player()->site();
  EXPECT_EQ(f.control.Start(f.address()), -1);
  EXPECT_EQ(f.control.player()->site(), site);  // not started again

  // Play while started switches the model, its address ignored.
  EXPECT_EQ(f.control.Play("10.9.9.9/other", IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_JPEG), 0);
  EXPECT_EQ(std::tuple(f.control.GetProtocol(), f.control.GetVideoFormat(), f.config().host,
                       f.config().path),
            std::tuple(4, 4, std::string("127.0.0.1"), std::string("/jpeg")));
  EXPECT_EQ(f.control.Mic(true), -1);  // no talk over interleaved RTSP
  EXPECT_TRUE(f.control.player()->muted());
  EXPECT_EQ(f.control.Mute(false), 0);
  EXPECT_FALSE(f.control.player()->muted());

  for (const auto& [write, read] : {std::pair{&CVexaActiveXCtrl::SetSync, &CVexaActiveXCtrl::GetSync},
                                    {&CVexaActiveXCtrl::SetAudioFormat, &CVexaActiveXCtrl::GetAudioFormat},
                                    {&CVexaActiveXCtrl::SetRecodingSize, &CVexaActiveXCtrl::GetRecodingSize}}) {
    (f.control.*write)(5);
    EXPECT_EQ((f.control.*read)(), 11);
  }
  f.control.SetVideoFormat(7);
  EXPECT_EQ(f.control.GetVideoFormat(), 4);
  f.control.SetMulticast(9);
  EXPECT_EQ(f.control.GetMulticast(), 9);

  EXPECT_EQ(f.control.Stop(), 0);
  EXPECT_FALSE(f.control.player()->hasSite());
  EXPECT_EQ(f.control.Stop(), 0);
}

TEST(CVexaActiveXCtrl, TheModelSwitchRestartsOnItsDefaultPathAndMicNeverWaitsHere) {
  ControlFixture f;
  f.createWindow();
  f.control.SetProtocol(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264);
  ASSERT_EQ(f.control.Start("rtsp://camera.local:" + std::to_string(kNothingListens) + "/mine"), 0);
  EXPECT_EQ(f.resolved, std::vector<std::string>{"camera.local"});
  EXPECT_EQ(f.config().path, "/mine");
  EXPECT_EQ(f.control.videoWindow()->ptzSender().streamName(), "mine");
  f.waitForSite();

  const IPCameraSite* first = f.control.player()->site();
  f.control.SetProtocol(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264);  // the same: no restart
  EXPECT_EQ(f.control.player()->site(), first);
  f.control.SetProtocol(IPCAMERA_VIDEO_MODEL_RTP_PLUS_RTSP_H264_2);
  EXPECT_EQ(std::tuple(f.config().host, f.config().path, f.control.started()),
            std::tuple(std::string("127.0.0.1"), std::string("/h264_2"), true));
  EXPECT_EQ(f.control.videoWindow()->ptzSender().streamName(), "h264_2");
  EXPECT_EQ(f.resolved.size(), 1u);  // the stored host is not looked up again

  // The clock stands still: the switch waits on the loop's timers, so Mic returns at once.
  EXPECT_EQ(f.control.Mic(true), 0);
  EXPECT_EQ(f.control.Mic(false), 0);
  f.waitForSite();
  EXPECT_EQ(f.control.Stop(), 0);
}

TEST(CVexaActiveXCtrl, StringAttributesAcceptTheirListsOnly) {
  const struct {
    const char* key;
    const char* value;
    int32_t result;
  } cases[] = {
      {"MODEL", "TQ312", 0},       {"MODEL", "tq312", 1},         {"MODEL", "TQ999", 1},
      {"SENSOR", "OV2715", 0},     {"SENSOR", "ov2715", 1},       {"SENSORMODE", "1280x1024", 0},
      {"SENSORMODE", "640x480", 1}, {"WEBVERSION", "anything", 0}, {"BRAND", "KORVA", 0},
      {"ROTATION", "MIRROR", 0},   {"ROTATION", "sideways", 0},   {"DISPLAYMODE", "REALSIZE", 0},
      {"DISPLAYMODE", "FIT", 1},   {"FISHEYE_MODE", "NONE", 1},   {"FISHEYE_MODE", "PANORAMA", 0},
      {"FISHEYE_MODE", "NONE", 0}, {"USER", "admin", 1},          {"PASS", "secret", 1},
      {"NO_SUCH_KEY", "x", 1},
  };
  ControlFixture f;
  f.createWindow();
  for (const auto& c : cases) {
    EXPECT_EQ(f.control.SetAttrStr(c.key, c.value), c.result) << c.key << "=" << c.value;
  }
  CImgDlg& window = *f.control.videoWindow();
  EXPECT_EQ(std::tuple(window.model(), window.rotation(), window.displayMode()),
            std::tuple(std::string("TQ312"), 2, int(ViewFrame::kRealSize)));
  EXPECT_EQ(std::tuple(f.config().brand, f.config().userName, f.config().password),
            std::tuple(std::string("KORVA"), std::string("admin"), std::string("secret")));
  EXPECT_NE(window.fisheyeEngine(), nullptr);
  EXPECT_EQ(f.control.GetAttrStr("FISHEYE_CALIBRATE_DIAMETER"), "0");
  EXPECT_EQ(f.control.GetAttrStr("NO_SUCH_KEY"), "");
}

TEST(CVexaActiveXCtrl, PanTiltZoomSwitchesFollowTheModel) {
  ControlFixture f;
  f.createWindow();
  PtzMouse& ptz = f.control.videoWindow()->ptz();
  for (const auto& [value, on] : {std::pair{5, true}, {-1, true}, {0, false}, {1, true}}) {
    EXPECT_EQ(f.control.SetAttrInt("EN_PT", value), 1);
    EXPECT_EQ(ptz.enPt(), on) << value;
  }
  f.control.SetAttrStr("MODEL", "TQ320");
  EXPECT_TRUE(ptz.enPt());
  f.control.SetAttrStr("MODEL", "TQ310");
  EXPECT_FALSE(ptz.enPt());
  f.control.SetAttrStr("MODEL", "TQ330");
  f.control.SetAttrInt("EN_ZOOM", 1);
  f.control.SetAttrStr("WEBVERSION", "2.0");  // the flags follow the model again: TQ330 keeps them
  EXPECT_TRUE(ptz.enZoom());
  const uint16_t port = f.control.videoWindow()->ptzSender().port();
  f.control.SetAttrInt("HTTPPORT", 70000);
  EXPECT_EQ(f.control.videoWindow()->ptzSender().port(), port);
  f.control.SetAttrInt("HTTPPORT", 8080);
  EXPECT_EQ(f.control.videoWindow()->ptzSender().port(), 8080);

  // Stopping the dome's stream takes its wheel away until frames arrive again.
  ASSERT_EQ(f.control.Play(f.address(), IPCAMERA_VIDEO_MODEL_RTP_OVER_RTSP_H264), 0);
  EXPECT_TRUE(f.control.videoWindow()->wheelRouted());
  f.control.Stop();
  EXPECT_FALSE(f.control.videoWindow()->wheelRouted());
}

TEST(CVexaActiveXCtrl, TheRegionOriginFollowsTheEditingKindAndMovesRegionsAlong) {
  ControlFixture f;
  f.createWindow();
  for (const auto& [key, value] :
       {std::pair{"MODEL", "TQ312"}, {"SENSOR", "OV2715"}, {"SENSORMODE", "1280x1024"}}) {
    ASSERT_EQ(f.control.SetAttrStr(key, value), 0);
  }
  const OverlayList& overlays = f.control.videoWindow()->overlays();
  f.control.AddMask("m", 40, 40, 16, 16);
  EXPECT_EQ(std::tuple(overlays.gridType(), overlays.originX(), overlays.originY()),
            std::tuple(6, 10, 0));
  f.control.AddMotionByName("w", 100, 100, 131, 131);
  EXPECT_EQ(std::tuple(overlays.gridType(), overlays.originX(), overlays.originY()),
            std::tuple(6, 6, 0));
  // The mask moved by old - new origin in the camera's space, so its script coordinates stay.
  const OverlayElement& mask = overlays.elements().back();
  EXPECT_EQ(mask.space().x, 40 - 10 + 4);
  EXPECT_EQ(f.control.GetMaskPoint("m", 0), 40);
  EXPECT_EQ(f.control.GetMotionPointByName("w", 2), 131);
}

}  // namespace
}  // namespace vexa
