#include "control/DispatchTable.h"

#include <algorithm>
#include <array>
#include <type_traits>
#include <utility>

namespace vexa {

namespace {

template <typename T>
constexpr ScriptType scriptTypeOf() {
  using Plain = std::remove_cvref_t<T>;
  if constexpr (std::is_void_v<T>) {
    return ScriptType::kNone;
  } else if constexpr (std::is_same_v<T, std::string&>) {
    return ScriptType::kBstrOut;
  } else if constexpr (std::is_same_v<Plain, std::string>) {
    return ScriptType::kBstr;
  } else if constexpr (std::is_same_v<Plain, bool>) {
    return ScriptType::kBool;
  } else if constexpr (std::is_same_v<Plain, int32_t>) {
    return ScriptType::kI4;
  } else {
    static_assert(std::is_same_v<Plain, double>);
    return ScriptType::kR8;
  }
}

// The argument as the member takes it; a slot of another type gives the type's zero (and an
// out-string slot of another type becomes a string first).
template <typename T>
decltype(auto) argumentOf(ScriptValue& slot) {
  using Plain = std::remove_cvref_t<T>;
  if constexpr (std::is_same_v<T, std::string&>) {
    if (!std::holds_alternative<std::string>(slot)) slot = std::string();
    return std::get<std::string>(slot);
  } else {
    const Plain* value = std::get_if<Plain>(&slot);
    return value != nullptr ? *value : Plain{};
  }
}

template <auto Member>
struct MemberCall;

template <typename R, typename... A, R (DVexaActiveX::*Member)(A...)>
struct MemberCall<Member> {
  static constexpr size_t kArity = sizeof...(A);
  static constexpr ScriptType kResult = scriptTypeOf<R>();

  static ScriptValue invoke(DVexaActiveX& control, std::span<ScriptValue> args) {
    if (args.size() < kArity) return {};
    return call(control, args, std::index_sequence_for<A...>{});
  }

  template <size_t... I>
  static ScriptValue call(DVexaActiveX& control, std::span<ScriptValue> args,
                          std::index_sequence<I...>) {
    if constexpr (std::is_void_v<R>) {
      (control.*Member)(argumentOf<A>(args[I])...);
      return {};
    } else {
      return ScriptValue((control.*Member)(argumentOf<A>(args[I])...));
    }
  }

  static std::vector<ScriptParam> params(const std::array<std::string_view, kArity>& names) {
    constexpr std::array<ScriptType, kArity> types{scriptTypeOf<A>()...};
    std::vector<ScriptParam> result;
    for (size_t i = 0; i < kArity; ++i) result.push_back({names[i], types[i]});
    return result;
  }
};

template <auto Member>
DispatchEntry method(std::string_view name,
                     const std::array<std::string_view, MemberCall<Member>::kArity>& names = {}) {
  using Call = MemberCall<Member>;
  DispatchEntry entry;
  entry.name = name;
  entry.params = Call::params(names);
  entry.result = Call::kResult;
  entry.invoke = &Call::invoke;
  return entry;
}

template <auto Get, auto Set>
DispatchEntry property(std::string_view name) {
  DispatchEntry entry;
  entry.name = name;
  entry.isProperty = true;
  entry.result = ScriptType::kI4;
  entry.invoke = [](DVexaActiveX& control, std::span<ScriptValue>) {
    return ScriptValue((control.*Get)());
  };
  entry.put = [](DVexaActiveX& control, const ScriptValue& value) {
    const int32_t* number = std::get_if<int32_t>(&value);
    (control.*Set)(number != nullptr ? *number : 0);
  };
  return entry;
}

std::vector<DispatchEntry> makeTable() {
  using C = DVexaActiveX;
  std::vector<DispatchEntry> table = {
      method<&C::Start>("Start", {"url"}),
      method<&C::Stop>("Stop"),
      method<&C::Play>("Play", {"url", "commType"}),
      method<&C::Mic>("Mic", {"state"}),
      method<&C::Mute>("Mute", {"state"}),
      method<&C::JpegCapture>("JpegCapture", {"path", "filename"}),
      method<&C::FullScreen>("FullScreen"),
      method<&C::FishEyeCalibrate>("FishEyeCalibrate"),
      method<&C::SendHttpRequest>("SendHttpRequest",
                                  {"url", "ip", "user", "pass", "timeoutInMilliSec"}),
      method<&C::GetHttpReqStatus>("GetHttpReqStatus"),
      method<&C::GetHTTPResponse>("GetHTTPResponse", {"rtn"}),
      method<&C::Record>("Record", {"state", "path", "filename"}),
      method<&C::GetAttrStr>("GetAttrStr", {"key"}),
      property<&C::GetMulticast, &C::SetMulticast>("Multicast"),
      property<&C::GetSync, &C::SetSync>("Sync"),
      property<&C::GetVideoFormat, &C::SetVideoFormat>("VideoFormat"),
      property<&C::GetAudioFormat, &C::SetAudioFormat>("AudioFormat"),
      property<&C::GetRecodingSize, &C::SetRecodingSize>("RecodingSize"),
      property<&C::GetProtocol, &C::SetProtocol>("Protocol"),
      method<&C::SetAttrStr>("SetAttrStr", {"key", "value"}),
      method<&C::SetAttrInt>("SetAttrInt", {"key", "value"}),
      method<&C::AddClientMask>("AddClientMask", {"name", "x", "y", "width", "height"}),
      method<&C::RemoveClientMask>("RemoveClientMask", {"name"}),
      method<&C::SetClientMaskColor>("SetClientMaskColor", {"red", "green", "blue", "alpha"}),
      method<&C::AddMotionByName>("AddMotionByName", {"name", "left", "top", "right", "bottom"}),
      method<&C::RemoveMotionByName>("RemoveMotionByName", {"name"}),
      method<&C::GetMotionPointByName>("GetMotionPointByName", {"name", "index"}),
      method<&C::AddRoi>("AddRoi", {"name", "x", "y", "width", "height", "aspectX", "aspectY",
                                    "minWidth", "minHeight"}),
      method<&C::RemoveRoi>("RemoveRoi", {"name"}),
      method<&C::GetRoiPoint>("GetRoiPoint", {"name", "index"}),
      method<&C::AddMotion>("AddMotion", {"left", "top", "right", "bottom"}),
      method<&C::RemoveMotion>("RemoveMotion"),
      method<&C::GetMotionPoint>("GetMotionPoint", {"index1", "index2"}),
      method<&C::AdjustMotion>("AdjustMotion"),
      method<&C::ShowMotionState>("ShowMotionState"),
      method<&C::CloseMotionState>("CloseMotionState"),
      method<&C::StartMotion>("StartMotion", {"url"}),
      method<&C::AddMask>("AddMask", {"name", "x", "y", "width", "height"}),
      method<&C::RemoveMask>("RemoveMask", {"name"}),
      method<&C::GetMaskPoint>("GetMaskPoint", {"name", "index"}),
      method<&C::SelectFolder>("SelectFolder"),
      method<&C::SetDeinterlace>("SetDeinterlace", {"enable"}),
  };
  for (size_t i = 0; i < table.size(); ++i) table[i].dispId = int32_t(i + 1);
  return table;
}

}  // namespace

size_t DispatchEntry::inputCount() const {
  return size_t(std::count_if(params.begin(), params.end(), [](const ScriptParam& param) {
    return param.type != ScriptType::kBstrOut;
  }));
}

std::span<const DispatchEntry> dispatchTable() {
  static const std::vector<DispatchEntry> table = makeTable();
  return table;
}

const DispatchEntry* findDispatchEntry(std::string_view name) {
  for (const DispatchEntry& entry : dispatchTable()) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

std::string_view scriptTypeName(ScriptType type) {
  switch (type) {
    case ScriptType::kBstr: return "BSTR";
    case ScriptType::kI4: return "I4";
    case ScriptType::kBool: return "BOOL";
    case ScriptType::kR8: return "R8";
    case ScriptType::kBstrOut: return "BSTR*";
    case ScriptType::kNone: break;
  }
  return "";
}

}  // namespace vexa
