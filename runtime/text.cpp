#include "text.h"

#include <cmath>
#include <cstdlib>

namespace rt {

std::string Fixed(std::string_view text, std::size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, ' ');
  return out;
}

std::string_view TrimRight(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && text[end - 1] == ' ') --end;
  return text.substr(0, end);
}

static char LowerChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerChar(c);
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  }
  return true;
}

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find(separator, start);
    parts.emplace_back(text.substr(start, at == std::string_view::npos ? at : at - start));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

std::string Decimal(std::int64_t value) {
  return std::to_string(value);
}

std::string FormatDecimal(ScaledDecimal value, int digits, int places) {
  std::int64_t units = value.units;
  const bool negative = units < 0;
  if (negative) units = -units;
  // Bring the value to the picture's count of decimals, cutting extra ones.
  for (int p = value.places; p < places; ++p) units *= 10;
  for (int p = value.places; p > places; --p) units /= 10;
  std::int64_t scale = 1;
  for (int p = 0; p < places; ++p) scale *= 10;
  const std::int64_t whole = units / scale;
  const std::int64_t fraction = units % scale;

  std::string wholeText = std::to_string(whole);
  std::string fractionText = places > 0 ? FormatZeroFilled(fraction, places) : "";
  if (static_cast<int>(wholeText.size()) > digits) {
    std::string out(static_cast<std::size_t>(digits), '#');
    if (places > 0) out += "." + std::string(static_cast<std::size_t>(places), '#');
    return out;
  }
  std::string out = (negative ? "-" : "") + wholeText;
  if (places > 0) out += "." + fractionText;
  return out;
}

std::string FormatGrouped(std::int64_t value, int width) {
  const bool negative = value < 0;
  std::uint64_t magnitude =
      negative ? static_cast<std::uint64_t>(-(value + 1)) + 1 : static_cast<std::uint64_t>(value);
  std::string digits = std::to_string(magnitude);
  std::string grouped;
  const int n = static_cast<int>(digits.size());
  for (int i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) grouped += ',';
    grouped += digits[static_cast<std::size_t>(i)];
  }
  if (negative) grouped = "-" + grouped;
  if (static_cast<int>(grouped.size()) < width) {
    grouped.insert(0, static_cast<std::size_t>(width) - grouped.size(), ' ');
  }
  return grouped;
}

std::string FormatZeroFilled(std::int64_t value, int width) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (static_cast<int>(digits.size()) < width) {
    digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  }
  return value < 0 ? "-" + digits : digits;
}

static std::int64_t HundredthsOfDay(std::int64_t clock) {
  return clock > 0 ? clock - 1 : 0;
}

std::string FormatTimeT4(std::int64_t clock) {
  const std::int64_t h = HundredthsOfDay(clock) / 100;
  const std::int64_t hours = h / 3600, minutes = h / 60 % 60, seconds = h % 60;
  std::string out = hours < 10 ? " " + std::to_string(hours) : std::to_string(hours);
  return out + ":" + FormatZeroFilled(minutes, 2) + ":" + FormatZeroFilled(seconds, 2);
}

std::string FormatShortTime(std::int64_t clock) {
  const std::int64_t minutesOfDay = HundredthsOfDay(clock) / 6000;
  return FormatZeroFilled(minutesOfDay / 60, 2) + ":" + FormatZeroFilled(minutesOfDay % 60, 2);
}

double TextToNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::string number;
  if (i < text.size() && text[i] == '-') number += text[i++];
  const std::size_t digitsStart = number.size();
  auto isDigit = [&](std::size_t k) { return k < text.size() && text[k] >= '0' && text[k] <= '9'; };
  while (isDigit(i)) number += text[i++];
  if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
    std::size_t k = i + 1;
    std::string fraction;
    while (isDigit(k)) fraction += text[k++];
    if (number.size() > digitsStart || !fraction.empty()) {
      number += "." + fraction;
      i = k;
    }
  }
  if (number.size() == digitsStart) return 0.0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t k = i + 1;
    std::string exponent;
    if (k < text.size() && (text[k] == '-' || text[k] == '+')) exponent += text[k++];
    const std::size_t expDigits = exponent.size();
    while (isDigit(k)) exponent += text[k++];
    if (exponent.size() > expDigits) number += "e" + exponent;
  }
  return std::strtod(number.c_str(), nullptr);
}

std::int64_t TextToWhole(std::string_view text) {
  const double value = std::trunc(TextToNumber(text));
  // Beyond the 64-bit range a number stays as far from 0 as it can: read
  // as 0 it would turn a large number into none.
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (value >= kLimit) return INT64_MAX;
  if (value <= -kLimit) return INT64_MIN;
  return static_cast<std::int64_t>(value);
}

}  // namespace rt
