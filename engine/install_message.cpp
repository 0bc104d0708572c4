#include "engine/install_message.h"

#include "engine/cd_format.h"
#include "engine/debug_log.h"
#include "engine/line_reader.h"
#include "engine/result_codes.h"

namespace orvik {

int g_nProductVersion = cd_format::kCurrentProductVersion;

namespace {

// A letter of value zero ends the name where it stands, as it would in a C
// string: the name never carries a NUL byte inside.
std::string CutAtNul(std::string text) {
  const auto nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

std::string LanguageFileInCurrentFolder(char language) {
  return CutAtNul(std::string(1, language) + cd_format::kMessageFileSuffix);
}

std::string OnSource(const CdSource& source, const std::string& name) {
  if (source.root.empty()) return std::string();
  return source.PathOf(CutAtNul(name));
}

std::string LanguageFileOnSource(const CdSource& source, char language) {
  return OnSource(source, cd_format::kInstallFolder + std::string(1, language) +
                              cd_format::kMessageFileSuffix);
}

std::string LegacyFileOnSource(const CdSource& source) {
  return OnSource(source, std::string(cd_format::kInstallFolder) +
                              cd_format::kLegacyMessageFile);
}

std::unique_ptr<File> OpenMessageFile(FileSystem& files, const CdSource& source,
                                      char language) {
  auto file = files.OpenForReading(LanguageFileInCurrentFolder(language));
  if (file) return file;

  const std::string on_source = LanguageFileOnSource(source, language);
  file = files.OpenForReading(on_source);
  WriteDebugLog("Looking for '%s': %08X\n", on_source.c_str(),
                static_cast<unsigned>(StreamIdentity(file.get())));
  if (file) return file;

  const std::string legacy = LegacyFileOnSource(source);
  file = files.OpenForReading(legacy);
  if (file) g_nProductVersion = cd_format::kLegacyProductVersion;
  WriteDebugLog("Looking for '%s': %08X, version 7\n", legacy.c_str(),
                static_cast<unsigned>(StreamIdentity(file.get())));
  return file;
}

// The text is a C string to every consumer (window text, message box), so a
// line contributes its bytes up to its first NUL.
void AppendLine(std::string& text, const std::string& line) {
  text.append(line, 0, line.find('\0'));
}

// Removes the earliest backslash-n marker left anywhere in the text.
void RemoveFirstMarker(std::string& text) {
  const auto marker = text.find(cd_format::kMarker);
  if (marker != std::string::npos) text.erase(marker, 2);
}

}  // namespace

MessageResult LoadInstallMessage(FileSystem& files, const CdSource& source,
                                 char language, unsigned skip, unsigned count,
                                 std::string& message) {
  auto file = OpenMessageFile(files, source, language);
  message.clear();
  if (!file) return MessageResult::kNotFound;

  // A read error counts as the end of the file: later reads add nothing.
  LineReader reader(*file);
  std::string line;
  for (unsigned i = 0; i < skip; ++i) reader.ReadLine(line, kMessageLineBytes);
  for (unsigned i = 0; i < count; ++i) {
    if (reader.ReadLine(line, kMessageLineBytes)) AppendLine(message, line);
    RemoveFirstMarker(message);
  }
  file->Close();
  return MessageResult::kFound;
}

MessageResult LoadInstallMessage(FileSystem& files, char drive, char language,
                                 unsigned skip, unsigned count,
                                 std::string& message) {
  return LoadInstallMessage(files, CdDrive(drive), language, skip, count,
                            message);
}

}  // namespace orvik
