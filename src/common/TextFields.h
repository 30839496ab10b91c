#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexa {

enum class KeyMatch { Exact, IgnoreCase };

// The field rule every RTSP, SDP and HTTP text parser uses: the first occurrence of key, then the
// first start character after it, then the first end character after that; the value lies
// strictly between. Empty when any of the three is missing.
std::string extractField(std::string_view text, std::string_view key, char start, char end,
                         KeyMatch match = KeyMatch::Exact);

// Position of the first occurrence of needle, npos when absent.
size_t findText(std::string_view text, std::string_view needle, size_t from = 0,
                KeyMatch match = KeyMatch::Exact);

std::string_view trimBlanks(std::string_view text);

bool equalsIgnoringCase(std::string_view a, std::string_view b);

// The text of rest up to the first separator, which is cut off rest with it; all of rest when
// there is none.
std::string_view takeUntil(std::string_view& rest, char separator);

// Leading optional sign and decimal digits, as atoi reads them; no digits give 0.
long long parseLeadingInteger(std::string_view text);

// A decimal number as a header value holds it (blanks around it allowed); none for anything
// else, and for a number above max, however many digits it has.
std::optional<uint64_t> parseDecimal(std::string_view text, uint64_t max);

}  // namespace vexa
