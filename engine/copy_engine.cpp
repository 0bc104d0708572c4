#include "engine/copy_engine.h"

#include <cstdint>
#include <memory>
#include <new>

#include "engine/copy_list.h"
#include "engine/install_message.h"
#include "engine/result_codes.h"
#include "engine/settings_file.h"

namespace orvik {

char g_szCopyListName[13] = "eopylist.dat";

namespace {

// The message-file lines that tell the user each outcome.
struct MessageLines {
  unsigned first;
  unsigned count;
};
constexpr MessageLines kDestFolderFailedLines{4, 2};
constexpr MessageLines kCopyListFailedLines{6, 2};
constexpr MessageLines kFileFailedLines{9, 3};
constexpr MessageLines kSuccessLines{13, 1};

constexpr char kFallbackLanguage = 'e';
constexpr char kLanguageFreeCopyList = 'c';

constexpr char kCdDriveLineText[] = "18 cd drive ";
constexpr char kNoDriveLetter = '@';

// Left behind by an earlier installation; stale once the files are new.
constexpr const char* kStaleDataFiles[] = {"astdata.ast", "astdata.lim"};

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string SupportLines() {
  return std::string("Contact Ostmarrow at ") + kSupportTelephone + ",\n" +
         "or at " + kSupportEmail + ",  including this message.\n";
}

std::string WriteFailureText(const std::string& dest_path) {
  return "INSTALL FAILURE: Couldn't copy " + dest_path + "\n" + SupportLines();
}

std::string OutOfMemoryText() {
  return "INSTALL FAILURE: Not enough memory to copy the files.\n" +
         SupportLines();
}

// One call of CopyInstallFiles.
class CopyRun {
 public:
  CopyRun(FileSystem& files, char copy_list_drive, const CdSource& source_drive,
          char language, const std::string& dest_dir, std::string& message)
      : files_(files),
        copy_list_drive_(copy_list_drive),
        source_drive_(source_drive),
        language_(language),
        dest_dir_(dest_dir),
        message_(message) {}

  int Run() {
    message_.clear();
    if (!ObtainWorkBuffer()) {
      message_ = OutOfMemoryText();
      return kInstallOutOfMemory;
    }
    // Only a missing parent stops the run: a folder that already exists,
    // or cannot be made for another reason, is tried as it is.
    if (files_.CreateFolder(dest_dir_) == CreateFolderResult::kNoSuchPath)
      return Fail(kInstallDestFolderFailed, kDestFolderFailedLines);
    if (language_ != 0) g_szCopyListName[0] = language_;

    CopyList list;
    if (!ReadCopyList(list))
      return Fail(kInstallCopyListFailed, kCopyListFailedLines);
    for (std::size_t position = 0; position < list.entries.size(); ++position) {
      const int result = HandleEntry(list.entries[position], position);
      if (result != kResultOk) return result;
    }
    MakeDestinationCurrentAndRemoveStaleData();
    LoadMessage(kSuccessLines);
    return kResultOk;
  }

 private:
  bool ObtainWorkBuffer() {
    for (std::size_t size = kLargestCopyChunk; size > 0; size /= 2) {
      buffer_ = files_.AllocateBuffer(size);
      if (buffer_) {
        chunk_ = size;
        return true;
      }
    }
    return false;
  }

  // The message file's result is not ours to act on: without the file the
  // text stays empty and our own result stands.
  void LoadMessage(MessageLines lines) {
    LoadInstallMessage(files_, source_drive_, language_, lines.first,
                       lines.count, message_);
  }

  int Fail(int result, MessageLines lines) {
    LoadMessage(lines);
    return result;
  }

  int FailWrite(const std::string& dest_path) {
    message_ = WriteFailureText(dest_path);
    return kInstallWriteFailed;
  }

  std::string CopyListPath(const std::string& name) const {
    if (copy_list_drive_ != 0)
      return std::string(1, copy_list_drive_) + ":\\" + name;
    return source_drive_.PathOf("\\install\\" + name);
  }

  // The fallbacks change the name in the path only: the stored letter stays
  // for the next call.
  std::unique_ptr<File> OpenCopyList() {
    std::string name = g_szCopyListName;
    auto file = files_.OpenForReading(CopyListPath(name));
    if (!file && language_ != kFallbackLanguage) {
      name[0] = kFallbackLanguage;
      file = files_.OpenForReading(CopyListPath(name));
    }
    if (!file) {
      name[0] = kLanguageFreeCopyList;
      file = files_.OpenForReading(CopyListPath(name));
    }
    return file;
  }

  // The whole list is read before any file is touched, so a damaged list
  // stops the run before it copies anything.
  bool ReadCopyList(CopyList& list) {
    auto file = OpenCopyList();
    if (!file) return false;
    const CopyListStatus status = ParseCopyList(*file, list);
    file->Close();
    return status == CopyListStatus::kOk;
  }

  bool DestinationExists(const std::string& dest_path) {
    auto existing = files_.OpenForReading(dest_path);
    if (!existing) return false;
    existing->Close();
    return true;
  }

  int HandleEntry(const CopyListEntry& entry, std::size_t position) {
    auto source = files_.OpenForReading(
        SourcePath(entry.name, copy_list_drive_, source_drive_));
    if (!source) return Fail(kInstallSourceFileFailed, kFileFailedLines);

    const auto dest_name = DestinationName(entry.name);
    const std::string dest_path = dest_name ? dest_dir_ + *dest_name : "";
    bool check_only = IsCheckOnlyPosition(position);
    if (entry.keep_existing && dest_name && DestinationExists(dest_path))
      check_only = true;
    if (check_only) {
      source->Close();
      return kResultOk;
    }
    // A name that would land outside the folder, or on something other
    // than a plain file, is a destination that cannot be created.
    if (!dest_name) return Fail(kInstallDestFileFailed, kFileFailedLines);
    auto dest = files_.OpenForWriting(dest_path);
    if (!dest) return Fail(kInstallDestFileFailed, kFileFailedLines);
    return CopyFileContent(*source, *dest, dest_path,
                           SettingsFileNamed(*dest_name));
  }

  int CopyFileContent(File& source, File& dest, const std::string& dest_path,
                      SettingsFile settings) {
    LanguageLinePatcher patcher(settings != SettingsFile::kNone ? language_
                                                                : '\0');
    char* const buffer = buffer_.get();
    bool at_line_start = true;
    for (;;) {
      const std::int64_t got = source.Read(buffer, chunk_);
      if (got == 0) break;
      // A damaged CD must not pass for the end of the file.
      if (got < 0 || static_cast<std::uint64_t>(got) > chunk_)
        return Fail(kInstallSourceFileFailed, kFileFailedLines);
      const auto size = static_cast<std::size_t>(got);
      patcher.Patch(buffer, size);
      if (dest.Write(buffer, size) != size) return FailWrite(dest_path);
      at_line_start = buffer[size - 1] == '\n';
    }
    if (settings == SettingsFile::kStartup &&
        !AppendCdDriveLine(dest, at_line_start))
      return FailWrite(dest_path);
    // Close flushes: data that never reached the disk is a failed write.
    if (!dest.Close()) return FailWrite(dest_path);
    source.Close();
    return kResultOk;
  }

  char CdDriveLetter() {
    if (source_drive_.cd_drive_letter != 0) return source_drive_.cd_drive_letter;
    const char current = AsciiUpper(files_.CurrentDriveLetter());
    return current != '\0' ? current : kNoDriveLetter;
  }

  // The line stands on a line of its own even when the copied content
  // lacks a final line feed.
  bool AppendCdDriveLine(File& dest, bool at_line_start) {
    std::string line = at_line_start ? "" : "\n";
    line += kCdDriveLineText;
    line += CdDriveLetter();
    line += '\n';
    return dest.Write(line.data(), line.size()) == line.size();
  }

  // The data files go from where the copies went. Once the destination is
  // the current folder their bare names find them there, even for a
  // relative destination text, which prefixed now would reach one level
  // deeper. If the change failed, the current folder is still the one the
  // copies were resolved against.
  void MakeDestinationCurrentAndRemoveStaleData() {
    const bool moved = files_.SetCurrentFolder(dest_dir_);
    for (const char* name : kStaleDataFiles)
      files_.RemoveFile(moved ? std::string(name) : dest_dir_ + "\\" + name);
  }

  FileSystem& files_;
  const char copy_list_drive_;
  // The CD: a drive, or a folder that holds its contents.
  const CdSource source_drive_;
  const char language_;
  // A copy: the caller's text must not change under us.
  const std::string dest_dir_;
  std::string& message_;
  std::unique_ptr<char[]> buffer_;
  std::size_t chunk_ = 0;
};

}  // namespace

int CopyInstallFiles(FileSystem& files, char cCopyListDrive,
                     const CdSource& source, char cLanguage,
                     const std::string& lpszDestDir, std::string& message) {
  // Memory can run out anywhere, most readily over a copy list of absurd
  // length: a failure to report like any other, not the end of the
  // program. Unwinding has closed the files and freed the run's memory.
  try {
    return CopyRun(files, cCopyListDrive, source, cLanguage, lpszDestDir,
                   message)
        .Run();
  } catch (const std::bad_alloc&) {
    message = OutOfMemoryText();
    return kInstallOutOfMemory;
  }
}

int CopyInstallFiles(FileSystem& files, char cCopyListDrive, char cSourceDrive,
                     char cLanguage, const std::string& lpszDestDir,
                     std::string& message) {
  return CopyInstallFiles(files, cCopyListDrive, CdDrive(cSourceDrive),
                          cLanguage, lpszDestDir, message);
}

}  // namespace orvik
