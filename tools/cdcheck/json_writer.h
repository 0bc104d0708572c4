// A small writer of JSON for the release pipeline. Strings go in as
// Windows-1252 bytes and come out as pure ASCII: every other character is
// a \u escape, so the output is valid whatever the reader's code page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvik::cdcheck {

class JsonWriter {
 public:
  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  // The member name of the value that follows, inside an object.
  void Key(const std::string& name);
  void String(const std::string& cp1252_text);
  // Text that is UTF-8 already, such as a path from the command line.
  void Utf8String(const std::string& utf8_text);
  void Number(std::int64_t value);
  void Bool(bool value);
  void Null();

  // The document, ended with a line feed.
  std::string Finish() const { return out_ + "\n"; }

 private:
  void BeforeValue();
  void Open(char bracket);
  void Close(char bracket);
  void Indent();

  std::string out_;
  // One entry per open object or array: whether it holds a member yet.
  std::vector<bool> has_members_;
  bool after_key_ = false;
};

// The JSON string literal, quotes included.
std::string JsonQuote(const std::string& cp1252_text);
// The same for UTF-8 text; a byte that is not part of a valid sequence
// becomes U+FFFD.
std::string JsonQuoteUtf8(const std::string& utf8_text);

}  // namespace orvik::cdcheck
