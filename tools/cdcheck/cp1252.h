// Windows-1252, the code page of every text on the CD: which bytes are
// characters, how they read as Unicode, and how names compare.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace orvik::cdcheck {

// 0x81, 0x8D, 0x8F, 0x90 and 0x9D: no character is assigned to them.
bool IsUndefinedInCp1252(unsigned char byte);

// The Unicode code point of a byte; an undefined byte maps to the C1
// control of the same value, as Windows maps it.
std::uint32_t Cp1252CodePoint(unsigned char byte);

std::string Cp1252ToUtf8(const std::string& text);

// Appends the UTF-8 of a code point below U+10000.
void AppendUtf8(std::string& out, std::uint32_t code_point);

constexpr std::uint32_t kReplacementCharacter = 0xFFFD;

// The code point of the UTF-8 sequence at `text[at]`, moving `at` past it;
// a malformed, overlong or surrogate sequence gives kReplacementCharacter
// for its first byte.
std::uint32_t NextUtf8CodePoint(const std::string& text, std::size_t& at);

// The text in Windows-1252; nothing when a character has no byte there or
// the UTF-8 is malformed.
std::optional<std::string> Utf8ToCp1252(const std::string& utf8_text);

// True when the text holds bytes above 127 and all of them form valid
// UTF-8 sequences: text that was saved as UTF-8 and not converted.
bool LooksLikeUtf8(const std::string& text);

// Lower case for the letters of the code page, so that names compare the
// way the file system of Windows compares them.
std::string FoldCase(std::string text);

}  // namespace orvik::cdcheck
