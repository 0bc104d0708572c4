#include "tools/cdcheck/cp1252.h"

namespace orvik::cdcheck {

namespace {

// Code points of 0x80 to 0x9F; 0 marks the undefined bytes.
constexpr std::uint16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::optional<unsigned char> Cp1252ByteOf(std::uint32_t code_point) {
  if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF))
    return static_cast<unsigned char>(code_point);
  for (unsigned byte = 0x80; byte <= 0x9F; ++byte)
    if (kHighControls[byte - 0x80] == code_point && code_point != 0)
      return static_cast<unsigned char>(byte);
  return std::nullopt;
}

constexpr std::uint32_t kFirstSupplementary = 0x10000;

struct Utf8Lead {
  std::size_t continuations;
  std::uint32_t bits;     // of the code point, held by the lead byte
  std::uint32_t minimum;  // below it the sequence is overlong
};

// The lead bytes that may begin a sequence of UTF-8; {0} for any other.
Utf8Lead LeadOf(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {1, lead & 0x1Fu, 0x80};
  if (lead >= 0xE0 && lead <= 0xEF) return {2, lead & 0x0Fu, 0x800};
  if (lead >= 0xF0 && lead <= 0xF4) return {3, lead & 0x07u, kFirstSupplementary};
  return {0, 0, 0};
}

}  // namespace

void AppendUtf8(std::string& out, std::uint32_t code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

bool IsUndefinedInCp1252(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F && kHighControls[byte - 0x80] == 0;
}

std::uint32_t Cp1252CodePoint(unsigned char byte) {
  if (byte < 0x80 || byte > 0x9F) return byte;
  const std::uint16_t mapped = kHighControls[byte - 0x80];
  return mapped != 0 ? mapped : byte;
}

std::string Cp1252ToUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) AppendUtf8(out, Cp1252CodePoint(static_cast<unsigned char>(c)));
  return out;
}

bool LooksLikeUtf8(const std::string& text) {
  bool any_sequence = false;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t start = at;
    if (NextUtf8CodePoint(text, at) == kReplacementCharacter && at == start + 1)
      return false;
    any_sequence = any_sequence || at > start + 1;
  }
  return any_sequence;
}

std::uint32_t NextUtf8CodePoint(const std::string& text, std::size_t& at) {
  const auto first = static_cast<unsigned char>(text[at++]);
  if (first < 0x80) return first;
  const Utf8Lead lead = LeadOf(first);
  if (lead.continuations == 0 || at + lead.continuations > text.size())
    return kReplacementCharacter;
  std::uint32_t code_point = lead.bits;
  for (std::size_t k = 0; k < lead.continuations; ++k) {
    const auto byte = static_cast<unsigned char>(text[at + k]);
    if ((byte & 0xC0) != 0x80) return kReplacementCharacter;
    code_point = (code_point << 6) | (byte & 0x3F);
  }
  if (code_point < lead.minimum || code_point > 0x10FFFF ||
      (code_point >= 0xD800 && code_point <= 0xDFFF))
    return kReplacementCharacter;
  at += lead.continuations;
  return code_point;
}

std::optional<std::string> Utf8ToCp1252(const std::string& utf8_text) {
  std::string text;
  for (std::size_t at = 0; at < utf8_text.size();) {
    const std::uint32_t code_point = NextUtf8CodePoint(utf8_text, at);
    if (code_point == kReplacementCharacter) return std::nullopt;
    const auto byte = Cp1252ByteOf(code_point);
    if (!byte) return std::nullopt;
    text += static_cast<char>(*byte);
  }
  return text;
}

std::string FoldCase(std::string text) {
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool ascii_upper = byte >= 'A' && byte <= 'Z';
    const bool latin1_upper = byte >= 0xC0 && byte <= 0xDE && byte != 0xD7;
    if (ascii_upper || latin1_upper) c = static_cast<char>(byte + 0x20);
    // S, OE and Z with caron, Y with diaeresis: the pairs of 0x80-0x9F.
    if (byte == 0x8A || byte == 0x8C || byte == 0x8E)
      c = static_cast<char>(byte + 0x10);
    if (byte == 0x9F) c = static_cast<char>(0xFF);
  }
  return text;
}

}  // namespace orvik::cdcheck
