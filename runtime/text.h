// Text rules of the runtime: fixed-width fields (cut to their width, padded
// with blanks, compared without trailing blanks), the pictures the program
// formats numbers and times with, and the text-to-number conversion.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

// The text cut to `width` characters and padded with blanks to that width.
std::string Fixed(std::string_view text, std::size_t width);

// The text without its trailing blanks.
std::string_view TrimRight(std::string_view text);
inline std::string Clip(std::string_view text) {
  return std::string(TrimRight(text));
}

// At most the first `max` characters.
inline std::string Cut(std::string_view text, std::size_t max) {
  return std::string(text.substr(0, max));
}

// True when the text is empty or holds only blanks.
inline bool IsBlank(std::string_view text) {
  return TrimRight(text).empty();
}

// Equality in which trailing blanks do not count.
inline bool SameText(std::string_view a, std::string_view b) {
  return TrimRight(a) == TrimRight(b);
}

// ASCII letter case folding.
std::string Lower(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);

// The parts of the text between the separators, empty ones included: "a||b"
// gives "a", "" and "b"; an empty text gives one empty part.
std::vector<std::string> Split(std::string_view text, char separator);

// A signed decimal number in plain text ("-12", "0").
std::string Decimal(std::int64_t value);

// A decimal number with a fixed count of decimal places, held exactly as an
// integer count of units of 10^-places.
struct ScaledDecimal {
  std::int64_t units = 0;
  int places = 0;
};

// Picture with `digits` integer positions and `places` decimals (leading
// blanks removed). When the integer part needs more positions than the
// picture has, every digit position shows "#" and the point stays:
// 22.10 in one integer digit and two decimals gives "#.##".
std::string FormatDecimal(ScaledDecimal value, int digits, int places);

// Picture "n-16": signed decimal, thousands grouped with commas, a leading
// minus sign, right-aligned in `width` characters.
std::string FormatGrouped(std::int64_t value, int width = 16);

// Picture "n_4" and its kind: zero-filled to `width` digits.
std::string FormatZeroFilled(std::int64_t value, int width);

// Clock values are hundredths of a second after midnight plus one.
// Picture "t4": hh:mm:ss, the hour in two positions with a leading blank
// below 10 (" 9:05:03").
std::string FormatTimeT4(std::int64_t clock);
// The short time picture: hh:mm, zero-filled, 24-hour clock.
std::string FormatShortTime(std::int64_t clock);

// The runtime's reading of a text as a number: leading blanks are skipped, a
// minus sign may stand before the digits, a fraction after '.' or ',' and an
// exponent after 'e' or 'E' count; a text without such digits (empty, a
// word, a plus sign first) reads as 0.
double TextToNumber(std::string_view text);
// The same, cut towards zero to a whole number; beyond the 64-bit range the
// nearest end of it.
std::int64_t TextToWhole(std::string_view text);

}  // namespace rt
