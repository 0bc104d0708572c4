#include "tools/cdcheck/json_writer.h"

#include "tools/cdcheck/cp1252.h"

namespace orvik::cdcheck {

namespace {

constexpr int kIndentWidth = 2;

constexpr std::uint32_t kFirstSupplementary = 0x10000;

std::string UnitEscape(std::uint32_t unit) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string escape = "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) escape += kDigits[(unit >> shift) & 0xF];
  return escape;
}

// JSON escapes UTF-16 units: a code point past the Basic Multilingual Plane
// takes a surrogate pair.
std::string UnicodeEscape(std::uint32_t code_point) {
  if (code_point < kFirstSupplementary) return UnitEscape(code_point);
  const std::uint32_t offset = code_point - kFirstSupplementary;
  return UnitEscape(0xD800 + (offset >> 10)) + UnitEscape(0xDC00 + (offset & 0x3FF));
}

void AppendQuoted(std::string& out, std::uint32_t code_point) {
  switch (code_point) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    default:
      if (code_point < 0x20 || code_point >= 0x7F)
        out += UnicodeEscape(code_point);
      else
        out += static_cast<char>(code_point);
  }
}

}  // namespace

std::string JsonQuote(const std::string& cp1252_text) {
  std::string out = "\"";
  for (char c : cp1252_text)
    AppendQuoted(out, Cp1252CodePoint(static_cast<unsigned char>(c)));
  return out + "\"";
}

std::string JsonQuoteUtf8(const std::string& utf8_text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < utf8_text.size();)
    AppendQuoted(out, NextUtf8CodePoint(utf8_text, at));
  return out + "\"";
}

void JsonWriter::Indent() {
  out_ += '\n';
  out_.append(has_members_.size() * kIndentWidth, ' ');
}

void JsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (has_members_.empty()) return;
  if (has_members_.back()) out_ += ',';
  has_members_.back() = true;
  Indent();
}

void JsonWriter::Open(char bracket) {
  BeforeValue();
  out_ += bracket;
  has_members_.push_back(false);
}

void JsonWriter::Close(char bracket) {
  const bool had_members = has_members_.back();
  has_members_.pop_back();
  if (had_members) Indent();
  out_ += bracket;
}

void JsonWriter::BeginObject() { Open('{'); }
void JsonWriter::EndObject() { Close('}'); }
void JsonWriter::BeginArray() { Open('['); }
void JsonWriter::EndArray() { Close(']'); }

void JsonWriter::Key(const std::string& name) {
  BeforeValue();
  out_ += JsonQuote(name) + ": ";
  after_key_ = true;
}

void JsonWriter::String(const std::string& cp1252_text) {
  BeforeValue();
  out_ += JsonQuote(cp1252_text);
}

void JsonWriter::Utf8String(const std::string& utf8_text) {
  BeforeValue();
  out_ += JsonQuoteUtf8(utf8_text);
}

void JsonWriter::Number(std::int64_t value) {
  BeforeValue();
  out_ += std::to_string(value);
}

void JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ += value ? "true" : "false";
}

void JsonWriter::Null() {
  BeforeValue();
  out_ += "null";
}

}  // namespace orvik::cdcheck
