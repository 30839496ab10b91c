#include "common/TextFields.h"

#include <algorithm>
#include <cctype>
#include <climits>

namespace vexa {

namespace {

// ASCII case folding, without the locale: protocol texts are ASCII, and this runs over every
// byte a camera sends while a header is looked for.
constexpr char foldCase(char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; }

bool sameLetterIgnoringCase(char a, char b) { return foldCase(a) == foldCase(b); }

size_t findIgnoringCase(std::string_view text, std::string_view needle, size_t from) {
  if (needle.empty()) return from;
  const char first = foldCase(needle.front());
  const std::string_view rest = needle.substr(1);
  for (size_t at = from; at + needle.size() <= text.size(); ++at) {
    if (foldCase(text[at]) != first) continue;
    if (std::equal(rest.begin(), rest.end(), text.begin() + at + 1, sameLetterIgnoringCase)) return at;
  }
  return std::string_view::npos;
}

}  // namespace

size_t findText(std::string_view text, std::string_view needle, size_t from, KeyMatch match) {
  if (from > text.size()) return std::string_view::npos;
  if (match == KeyMatch::Exact) return text.find(needle, from);
  return findIgnoringCase(text, needle, from);
}

std::string extractField(std::string_view text, std::string_view key, char start, char end,
                         KeyMatch match) {
  const size_t keyAt = findText(text, key, 0, match);
  if (keyAt == std::string_view::npos) return {};
  const size_t startAt = text.find(start, keyAt);
  if (startAt == std::string_view::npos) return {};
  const size_t endAt = text.find(end, startAt + 1);
  if (endAt == std::string_view::npos) return {};
  return std::string(text.substr(startAt + 1, endAt - startAt - 1));
}

std::string_view trimBlanks(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), sameLetterIgnoringCase);
}

std::string_view takeUntil(std::string_view& rest, char separator) {
  const size_t at = rest.find(separator);
  const std::string_view taken = rest.substr(0, at);
  rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + 1);
  return taken;
}

std::optional<uint64_t> parseDecimal(std::string_view text, uint64_t max) {
  const std::string_view digits = trimBlanks(text);
  if (digits.empty()) return std::nullopt;
  uint64_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    const uint64_t digit = uint64_t(c - '0');
    if (value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

long long parseLeadingInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    // Saturate rather than overflow: a hostile peer may send any number of digits.
    if (value > (LLONG_MAX - 9) / 10) return negative ? LLONG_MIN : LLONG_MAX;
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

}  // namespace vexa
