#include "protocol/auth/Challenge.h"

#include <cctype>
#include <optional>

#include "common/TextFields.h"

namespace vexa::auth {

namespace {

constexpr std::string_view kChallengeHeader = "WWW-Authenticate";

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// RFC 7230 section 3.2.6.
bool isTokenChar(char c) {
  constexpr std::string_view kMarks = "!#$%&'*+-.^_`|~";
  return std::isalnum(static_cast<unsigned char>(c)) || kMarks.find(c) != std::string_view::npos;
}

// RFC 7235 section 2.1.
bool isToken68Char(char c) {
  constexpr std::string_view kMarks = "-._~+/";
  return std::isalnum(static_cast<unsigned char>(c)) || kMarks.find(c) != std::string_view::npos;
}

// A cursor over one header value, by the grammar of RFC 7235 section 2.1. Every step stays
// inside the text; malformed input only makes it skip ahead.
class ValueReader {
 public:
  explicit ValueReader(std::string_view text) : text_(text) {}

  bool atEnd() const { return at_ >= text_.size(); }
  bool atListEnd() const { return atEnd() || text_[at_] == ','; }
  bool skip(char c) {
    if (atEnd() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  bool skipBlanks() {
    const size_t from = at_;
    while (!atEnd() && isBlank(text_[at_])) ++at_;
    return at_ > from;
  }
  std::string_view token() {
    const size_t from = at_;
    while (!atEnd() && isTokenChar(text_[at_])) ++at_;
    return text_.substr(from, at_ - from);
  }
  // After the opening quote; an unterminated string runs to the end of the value.
  std::string quotedRest() {
    std::string value;
    while (!atEnd() && text_[at_] != '"') {
      if (text_[at_] == '\\' && at_ + 1 < text_.size()) ++at_;
      value += text_[at_++];
    }
    skip('"');
    return value;
  }
  // A token68 credential after a scheme name ("Negotiate YII+/w=="): consumed only when it is
  // the whole list element, so that "realm=x" stays a parameter.
  void skipToken68() {
    size_t end = at_;
    while (end < text_.size() && isToken68Char(text_[end])) ++end;
    if (end == at_) return;
    while (end < text_.size() && text_[end] == '=') ++end;
    while (end < text_.size() && isBlank(text_[end])) ++end;
    if (end == text_.size() || text_[end] == ',') at_ = end;
  }
  // Past the rest of a malformed element, honouring quotes so that a quoted comma stays inside.
  void skipElement() {
    while (!atListEnd()) {
      if (skip('"')) {
        quotedRest();
      } else {
        ++at_;
      }
    }
  }

 private:
  std::string_view text_;
  size_t at_ = 0;
};

Challenge challengeFor(std::string_view scheme) {
  Challenge challenge;
  challenge.schemeName = scheme;
  if (equalsIgnoringCase(scheme, "Basic")) challenge.scheme = Scheme::kBasic;
  if (equalsIgnoringCase(scheme, "Digest")) challenge.scheme = Scheme::kDigest;
  return challenge;
}

bool offersAuth(std::string_view options) {
  size_t from = 0;
  while (from <= options.size()) {
    size_t comma = options.find(',', from);
    if (comma == std::string_view::npos) comma = options.size();
    if (equalsIgnoringCase(trimBlanks(options.substr(from, comma - from)), "auth")) return true;
    from = comma + 1;
  }
  return false;
}

void applyParameter(Challenge& challenge, std::string_view name, std::string value) {
  if (equalsIgnoringCase(name, "realm")) {
    challenge.realm = std::move(value);
  } else if (equalsIgnoringCase(name, "nonce")) {
    challenge.nonce = std::move(value);
  } else if (equalsIgnoringCase(name, "opaque")) {
    challenge.opaque = std::move(value);
  } else if (equalsIgnoringCase(name, "algorithm")) {
    challenge.algorithm = std::move(value);
  } else if (equalsIgnoringCase(name, "stale")) {
    challenge.stale = equalsIgnoringCase(value, "true");
  } else if (equalsIgnoringCase(name, "qop")) {
    challenge.qopGiven = true;
    challenge.qopAuth = offersAuth(value);
    challenge.qop = std::move(value);
  }
}

// One header value: a comma list whose elements are either a scheme (starting a challenge,
// optionally with its first parameter after blanks) or a parameter of the challenge before.
void readChallengeList(std::string_view value, std::vector<Challenge>& challenges) {
  ValueReader reader(value);
  Challenge* current = nullptr;
  while (!reader.atEnd()) {
    reader.skipBlanks();
    if (reader.skip(',')) continue;  // empty list elements are allowed
    const std::string_view name = reader.token();
    const bool blankAfterName = reader.skipBlanks();
    if (name.empty()) {
      reader.skipElement();
      continue;
    }
    if (!reader.skip('=')) {
      if (challenges.size() >= kMaxChallenges) return;
      current = &challenges.emplace_back(challengeFor(name));
      if (blankAfterName) reader.skipToken68();
      continue;
    }
    reader.skipBlanks();
    std::optional<std::string> parameter;
    if (reader.skip('"')) {
      parameter = reader.quotedRest();
    } else if (const std::string_view token = reader.token(); !token.empty()) {
      parameter = std::string(token);
    }
    reader.skipBlanks();
    if (!reader.atListEnd()) {
      reader.skipElement();  // "a=b c", "a==": not a parameter
    } else if (current != nullptr && parameter) {
      // Past the cap the challenge is refused anyway: only the count goes on.
      if (++current->parameterCount <= kMaxChallengeParameters) {
        applyParameter(*current, name, std::move(*parameter));
      }
    }
  }
}

// The value when the line is a challenge header ("name:" at the line start, in any case).
std::optional<std::string_view> challengeHeaderValue(std::string_view line) {
  if (line.size() < kChallengeHeader.size() ||
      !equalsIgnoringCase(line.substr(0, kChallengeHeader.size()), kChallengeHeader)) {
    return std::nullopt;
  }
  std::string_view rest = line.substr(kChallengeHeader.size());
  while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
  if (rest.empty() || rest.front() != ':') return std::nullopt;
  return trimBlanks(rest.substr(1));
}

// The challenge headers' values, with folded continuation lines joined; an over-long header is
// dropped whole rather than read cut short.
std::vector<std::string> challengeHeaderValues(std::string_view head) {
  std::vector<std::string> values;
  bool folding = false;  // the line before belonged to a kept challenge header
  size_t at = 0;
  while (at < head.size()) {
    const size_t newline = head.find('\n', at);
    const size_t end = newline == std::string_view::npos ? head.size() : newline;
    std::string_view line = head.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;
    if (isBlank(line.front())) {
      if (!folding) continue;
      const std::string_view more = trimBlanks(line);
      if (values.back().size() + 1 + more.size() > kMaxChallengeHeaderBytes) {
        values.pop_back();
        folding = false;
        continue;
      }
      values.back().append(" ").append(more);
      continue;
    }
    folding = false;
    const std::optional<std::string_view> value = challengeHeaderValue(line);
    if (!value || value->size() > kMaxChallengeHeaderBytes) continue;
    if (values.size() >= kMaxChallengeHeaders) break;
    values.emplace_back(*value);
    folding = true;
  }
  return values;
}

}  // namespace

std::vector<Challenge> readChallenges(std::string_view answerHead) {
  std::vector<Challenge> challenges;
  for (const std::string& value : challengeHeaderValues(answerHead)) {
    readChallengeList(value, challenges);
  }
  return challenges;
}

}  // namespace vexa::auth
