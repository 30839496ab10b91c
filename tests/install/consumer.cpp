// A program built against the installed libvexa alone: its headers, its library, nothing else.
#include <iostream>
#include <string>
#include <variant>
#include <vector>

#include "control/CVexaActiveXCtrl.h"
#include "control/DispatchTable.h"
#include "platform/Dialogs.h"
#include "platform/UiLoop.h"

namespace {

constexpr const char* kVersionKey = "VIEWER_VERSION";
constexpr int kWindowWidth = 320;
constexpr int kWindowHeight = 240;

std::string versionByName(vexa::DVexaActiveX& control) {
  const vexa::DispatchEntry* entry = vexa::findDispatchEntry("GetAttrStr");
  if (!entry) return "no GetAttrStr";
  std::vector<vexa::ScriptValue> args{std::string(kVersionKey)};
  const vexa::ScriptValue result = entry->invoke(control, args);
  const auto* text = std::get_if<std::string>(&result);
  return text ? *text : "not a string";
}

}  // namespace

int main() {
  vexa::platform::StderrDialogs dialogs;
  vexa::platform::UiLoop loop;
  vexa::CVexaActiveXCtrl control(vexa::ControlHost{dialogs, loop});
  std::cout << "before: '" << control.GetAttrStr(kVersionKey) << "'\n";
  control.createWindow(kWindowWidth, kWindowHeight);
  std::cout << "after: '" << control.GetAttrStr(kVersionKey) << "'\n";
  std::cout << "by name: '" << versionByName(control) << "'\n";
  control.destroyWindow();
  return 0;
}
