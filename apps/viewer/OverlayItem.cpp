#include "viewer/OverlayItem.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace vexa::viewer {

namespace {

struct KindSyntax {
  std::string_view word;
  OverlayItem::Kind kind;
  size_t integers;  // after the name
};
constexpr KindSyntax kKinds[] = {
    {"mask", OverlayItem::Kind::kMask, 4},
    {"motion", OverlayItem::Kind::kMotion, 4},
    {"roi", OverlayItem::Kind::kRoi, 8},
    {"client-mask", OverlayItem::Kind::kClientMask, 4},
    {"client-colour", OverlayItem::Kind::kClientColour, 3},
};
constexpr std::string_view kUnnamedMotion = "-";
constexpr std::string_view kBlanks = " \t\r";

std::vector<std::string_view> wordsOf(std::string_view line) {
  std::vector<std::string_view> words;
  while (true) {
    const size_t start = line.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) return words;
    line.remove_prefix(start);
    const size_t end = std::min(line.find_first_of(kBlanks), line.size());
    words.push_back(line.substr(0, end));
    line.remove_prefix(end);
  }
}

bool parseInteger(std::string_view word, int32_t& out) {
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), out);
  return error == std::errc() && end == word.data() + word.size();
}

bool parseAlpha(std::string_view word, double& out) {
  const std::string text(word);
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size() && std::isfinite(out);
}

// The item of one line's words; an error text when they are not one.
std::string parseWords(const std::vector<std::string_view>& words, OverlayItem& item) {
  const KindSyntax* syntax = nullptr;
  for (const KindSyntax& kind : kKinds) {
    if (words[0] == kind.word) syntax = &kind;
  }
  if (syntax == nullptr) {
    return "unknown overlay '" + std::string(words[0]) +
           "' (mask, motion, roi, client-mask, client-colour)";
  }
  item.kind = syntax->kind;
  const bool colour = item.kind == OverlayItem::Kind::kClientColour;
  // A colour has no name but an alpha after its integers.
  const size_t expected = 1 + syntax->integers + 1;
  if (words.size() != expected) {
    return std::string(syntax->word) + " takes " + std::to_string(expected - 1) + " values, not " +
           std::to_string(words.size() - 1);
  }
  const size_t first = colour ? 1 : 2;
  if (!colour) {
    item.name = std::string(words[1]);
    item.unnamed = item.kind == OverlayItem::Kind::kMotion && words[1] == kUnnamedMotion;
    if (item.unnamed) item.name.clear();
  }
  for (size_t i = 0; i < syntax->integers; ++i) {
    if (!parseInteger(words[first + i], item.values[i])) {
      return "'" + std::string(words[first + i]) + "' is not a 32-bit integer";
    }
  }
  if (colour && !parseAlpha(words.back(), item.alpha)) {
    return "'" + std::string(words.back()) + "' is not a finite alpha";
  }
  return {};
}

}  // namespace

void parseOverlayText(std::string_view text, std::string_view source, bool numberLines,
                      OverlayItems& items) {
  size_t lineNumber = 0;
  while (!text.empty() && items.error.empty()) {
    ++lineNumber;
    const size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const auto fail = [&](const std::string& why) {
      items.error = std::string(source) + (numberLines ? ":" + std::to_string(lineNumber) : "") +
                    ": " + why;
    };
    if (line.size() > kMaxOverlayLineBytes) {
      fail("a line of more than " + std::to_string(kMaxOverlayLineBytes) + " bytes");
      return;
    }
    const std::vector<std::string_view> words = wordsOf(line);
    if (words.empty() || words[0].starts_with('#')) continue;
    OverlayItem item;
    if (std::string why = parseWords(words, item); !why.empty()) {
      fail(why);
      return;
    }
    items.items.push_back(std::move(item));
  }
}

void readOverlayFile(const std::string& path, OverlayItems& items) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    items.error = path + ": cannot be read";
    return;
  }
  std::string text;
  text.resize(kMaxOverlayFileBytes + 1);
  file.read(text.data(), std::streamsize(text.size()));
  text.resize(size_t(file.gcount()));
  if (text.size() > kMaxOverlayFileBytes) {
    items.error = path + ": more than " + std::to_string(kMaxOverlayFileBytes) + " bytes";
    return;
  }
  parseOverlayText(text, path, true, items);
}

}  // namespace vexa::viewer
