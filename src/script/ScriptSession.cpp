#include "script/ScriptSession.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "control/DispatchTable.h"

namespace vexa {

namespace {

using Json = nlohmann::json;
// Answers keep their fields in the order written: result first, out-strings, then the id.
using Answer = nlohmann::ordered_json;

// The answer to anything that went wrong outside the protocol (memory ran out).
constexpr std::string_view kInternalFailure =
    R"({"error":{"code":"internal","message":"the request could not be served"}})";

struct Failure {
  std::string_view code;
  std::string message;
  std::optional<size_t> index = {};
  std::string_view expected = {};
};

// Either what the request gets or the error it is answered with.
template <typename T>
using Outcome = std::variant<T, Failure>;

Failure argumentType(size_t index, ScriptType expected) {
  const std::string_view name = scriptTypeName(expected);
  return {"argument-type", "argument " + std::to_string(index) + " must be " + std::string(name),
          index, name};
}

Outcome<Json> parseRequest(std::string_view line) {
  bool tooDeep = false;
  // Depth counts the containers around the one starting: the request object itself is at 0.
  const Json::parser_callback_t refuseDeep = [&tooDeep](int depth, Json::parse_event_t event,
                                                        Json&) {
    const bool opens = event == Json::parse_event_t::object_start ||
                       event == Json::parse_event_t::array_start;
    if (opens && depth >= kScriptMaxNesting) tooDeep = true;
    return !tooDeep;
  };
  Json request = Json::parse(line, refuseDeep, /*allow_exceptions=*/false);
  if (tooDeep) {
    return Failure{"bad-json",
                   "nested deeper than " + std::to_string(kScriptMaxNesting) + " levels"};
  }
  if (request.is_discarded()) return Failure{"bad-json", "not a JSON text"};
  if (!request.is_object()) return Failure{"not-an-object", "a request is a JSON object"};
  return request;
}

std::optional<int32_t> asI4(const Json& value) {
  if (value.is_number_unsigned()) {
    const uint64_t number = value.get<uint64_t>();
    if (number <= uint64_t(std::numeric_limits<int32_t>::max())) return int32_t(number);
  } else if (value.is_number_integer()) {
    const int64_t number = value.get<int64_t>();
    if (number >= std::numeric_limits<int32_t>::min() &&
        number <= std::numeric_limits<int32_t>::max()) {
      return int32_t(number);
    }
  }
  return std::nullopt;
}

std::optional<ScriptValue> asScriptValue(const Json& value, ScriptType type) {
  switch (type) {
    case ScriptType::kBstr:
      if (value.is_string()) return ScriptValue(value.get<std::string>());
      break;
    case ScriptType::kI4:
      if (const auto number = asI4(value)) return ScriptValue(*number);
      break;
    case ScriptType::kBool:
      if (value.is_boolean()) return ScriptValue(value.get<bool>());
      if (value.is_number_unsigned()) return ScriptValue(value.get<uint64_t>() != 0);
      if (value.is_number_integer()) return ScriptValue(value.get<int64_t>() != 0);
      break;
    case ScriptType::kR8:
      if (value.is_number()) return ScriptValue(value.get<double>());
      break;
    case ScriptType::kBstrOut:
    case ScriptType::kNone:
      break;
  }
  return std::nullopt;
}

Answer resultOf(const ScriptValue& value) {
  return std::visit(
      [](const auto& v) -> Answer {
        if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::monostate>) {
          return nullptr;
        } else {
          return v;
        }
      },
      value);
}

Outcome<std::vector<ScriptValue>> methodArguments(const DispatchEntry& entry, const Json& args) {
  if (args.size() != entry.inputCount()) {
    return Failure{"argument-count", std::string(entry.name) + " takes " +
                                         std::to_string(entry.inputCount()) + " arguments"};
  }
  std::vector<ScriptValue> slots;
  slots.reserve(entry.params.size());
  size_t given = 0;
  for (const ScriptParam& param : entry.params) {
    if (param.type == ScriptType::kBstrOut) {
      slots.emplace_back(std::string());
      continue;
    }
    std::optional<ScriptValue> value = asScriptValue(args[given], param.type);
    if (!value) return argumentType(given, param.type);
    slots.push_back(std::move(*value));
    ++given;
  }
  return slots;
}

Outcome<Answer> callMethod(DVexaActiveX& control, const DispatchEntry& entry, const Json& args) {
  auto slots = methodArguments(entry, args);
  if (auto* failure = std::get_if<Failure>(&slots)) return std::move(*failure);
  auto& values = std::get<std::vector<ScriptValue>>(slots);
  Answer answer;
  answer["result"] = resultOf(entry.invoke(control, values));
  for (size_t i = 0; i < entry.params.size(); ++i) {
    if (entry.params[i].type == ScriptType::kBstrOut) {
      answer[std::string(entry.params[i].name)] = std::get<std::string>(values[i]);
    }
  }
  return answer;
}

// No argument reads the property, one writes it.
Outcome<Answer> useProperty(DVexaActiveX& control, const DispatchEntry& entry, const Json& args) {
  Answer answer;
  if (args.empty()) {
    answer["result"] = resultOf(entry.invoke(control, {}));
    return answer;
  }
  if (args.size() > 1) {
    return Failure{"argument-count",
                   std::string(entry.name) + " is read with no argument, written with one"};
  }
  const std::optional<ScriptValue> value = asScriptValue(args[0], entry.result);
  if (!value) return argumentType(0, entry.result);
  entry.put(control, *value);
  answer["result"] = nullptr;
  return answer;
}

Outcome<Answer> call(DVexaActiveX& control, const Json& name, const Json& request) {
  if (!name.is_string()) return Failure{"bad-request", "call names a member by a string"};
  const DispatchEntry* entry = findDispatchEntry(name.get_ref<const std::string&>());
  if (entry == nullptr) {
    return Failure{"unknown-member", "no member " + name.get<std::string>()};
  }
  static const Json kNoArguments = Json::array();
  const auto given = request.find("args");
  const Json& args = given != request.end() ? *given : kNoArguments;
  if (!args.is_array()) return Failure{"bad-request", "args is an array"};
  return entry->isProperty ? useProperty(control, *entry, args)
                           : callMethod(control, *entry, args);
}

Outcome<uint32_t> waitOf(const Json& ms) {
  if (ms.is_number_unsigned()) {
    return uint32_t(std::min<uint64_t>(ms.get<uint64_t>(), kScriptMaxWaitMs));
  }
  if (ms.is_number_integer() && ms.get<int64_t>() >= 0) {
    return uint32_t(std::min<int64_t>(ms.get<int64_t>(), kScriptMaxWaitMs));
  }
  Failure failure = argumentType(0, ScriptType::kI4);
  failure.message = "wait takes whole milliseconds, 0 or more";
  return failure;
}

Answer errorAnswer(const Failure& failure) {
  Answer error;
  error["code"] = failure.code;
  error["message"] = failure.message;
  if (failure.index) {
    error["index"] = *failure.index;
    error["expected"] = failure.expected;
  }
  Answer answer;
  answer["error"] = std::move(error);
  return answer;
}

// Invalid UTF-8 (a camera's bytes in an out-string) becomes U+FFFD rather than an exception.
std::string lineOf(const Answer& answer) {
  return answer.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// What a request object gets; waitMs is set for a wait.
Outcome<Answer> respond(DVexaActiveX& control, const Json& request, uint32_t& waitMs) {
  const auto name = request.find("call");
  const auto ms = request.find("wait");
  const bool isCall = name != request.end();
  const bool isWait = ms != request.end();
  if (isCall && !isWait) return call(control, *name, request);
  if (isCall || !isWait) return Failure{"bad-request", "a request has either call or wait"};
  Outcome<uint32_t> wait = waitOf(*ms);
  if (auto* failure = std::get_if<Failure>(&wait)) return std::move(*failure);
  waitMs = std::get<uint32_t>(wait);
  return Answer{{"result", nullptr}};
}

ScriptAnswer serve(DVexaActiveX& control, std::string_view line) {
  if (line.size() > kScriptLineMaxBytes) return ScriptSession::answerTooLong();
  Outcome<Json> parsed = parseRequest(line);
  if (const auto* failure = std::get_if<Failure>(&parsed)) return {lineOf(errorAnswer(*failure))};
  const Json& request = std::get<Json>(parsed);

  uint32_t waitMs = 0;
  Outcome<Answer> outcome = respond(control, request, waitMs);
  if (const auto* failure = std::get_if<Failure>(&outcome)) {
    outcome = errorAnswer(*failure);
    waitMs = 0;
  }
  Answer& answer = std::get<Answer>(outcome);
  if (const auto id = request.find("id"); id != request.end()) answer["id"] = *id;
  return {lineOf(answer), waitMs};
}

}  // namespace

ScriptAnswer ScriptSession::answer(std::string_view line) noexcept {
  try {
    return serve(control_, line);
  } catch (...) {
    return {std::string(kInternalFailure)};
  }
}

ScriptAnswer ScriptSession::answerTooLong() noexcept {
  try {
    return {lineOf(errorAnswer({"line-too-long", "a request line holds at most " +
                                                     std::to_string(kScriptLineMaxBytes) +
                                                     " bytes"}))};
  } catch (...) {
    return {std::string(kInternalFailure)};
  }
}

}  // namespace vexa
