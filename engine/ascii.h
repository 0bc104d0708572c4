// Character rules that do not depend on the locale: the CD's names and
// control files are single-byte text, and bytes above 127 are never
// letters or blanks to Setup.
#pragma once

#include <string>

namespace orvik {

constexpr char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// White space as the C locale has it.
constexpr bool IsAsciiBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// Either separator of a Windows path.
constexpr bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// A character Windows refuses in a file name: the control characters and
// <>:"|?* (the separators aside).
constexpr bool IsForbiddenInFileName(char c) {
  if (static_cast<unsigned char>(c) < 0x20) return true;
  for (const char forbidden : {'<', '>', ':', '"', '|', '?', '*'})
    if (c == forbidden) return true;
  return false;
}

inline std::string AsciiLowered(std::string text) {
  for (char& c : text) c = AsciiLower(c);
  return text;
}

inline bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

}  // namespace orvik
