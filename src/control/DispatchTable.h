#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "control/DVexaActiveX.h"

namespace vexa {

// The types a member's parameters and results have at the script boundary. An out-string is a
// parameter the call writes, handed back beside the result.
enum class ScriptType : uint8_t { kNone, kBstr, kI4, kBool, kR8, kBstrOut };

using ScriptValue = std::variant<std::monostate, std::string, int32_t, bool, double>;

struct ScriptParam {
  std::string_view name;
  ScriptType type;
};

// One member of the control as script sees it: one entry per member, in dispatch order, each
// with the call that reaches the control. Script hosts bind names through this table only.
struct DispatchEntry {
  std::string_view name;
  int32_t dispId = 0;  // 1..42, by position
  bool isProperty = false;
  // Methods: their parameters, out-strings included. Properties: none.
  std::vector<ScriptParam> params;
  // A method's result (kNone: no result); a property's type.
  ScriptType result = ScriptType::kNone;

  using Invoke = ScriptValue (*)(DVexaActiveX& control, std::span<ScriptValue> args);
  using Put = void (*)(DVexaActiveX& control, const ScriptValue& value);
  // Methods: args in parameter order, each of its parameter's type (an out-string's slot is
  // written); a mistyped argument reaches the member as its type's zero. Properties: the read.
  Invoke invoke = nullptr;
  // Properties: the write.
  Put put = nullptr;

  // Parameters the caller gives: all but the out-strings.
  size_t inputCount() const;
};

// The 42 members.
std::span<const DispatchEntry> dispatchTable();
// By exact name; null when there is none.
const DispatchEntry* findDispatchEntry(std::string_view name);
// "BSTR", "I4", "BOOL", "R8", "BSTR*" or "" for kNone.
std::string_view scriptTypeName(ScriptType type);

}  // namespace vexa
