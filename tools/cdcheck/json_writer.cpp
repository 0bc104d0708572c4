#include "tools/cdcheck/json_writer.h"

#include "tools/cdcheck/cp1252.h"

namespace orvik::cdcheck {

namespace {

constexpr int kIndentWidth = 2;

// Every code point of Windows-1252 lies in the Basic Multilingual Plane, so
// one \uXXXX escape holds it.
std::string UnicodeEscape(std::uint32_t code_point) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string escape = "\\u";
  for (int shift = 12; shift >= 0; shift -= 4)
    escape += kDigits[(code_point >> shift) & 0xF];
  return escape;
}

}  // namespace

std::string JsonQuote(const std::string& cp1252_text) {
  std::string out = "\"";
  for (char c : cp1252_text) {
    const std::uint32_t code_point = Cp1252CodePoint(static_cast<unsigned char>(c));
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
