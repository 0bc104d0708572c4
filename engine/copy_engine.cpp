#include "engine/copy_engine.h"

#include <cstdint>
#include <memory>
#include <new>

#include "engine/ascii.h"
#include "engine/cd_format.h"
#include "engine/copy_list.h"
#include "engine/install_message.h"
#include "engine/result_codes.h"
#include "engine/settings_file.h"

namespace orvik {

char g_szCopyListName[13] = "eopylist.dat";
static_assert(sizeof g_szCopyListName == sizeof cd_format::kDefaultCopyListName);

namespace {

// The message-file lines that tell the user each outcome.
using MessageLines = cd_format::MessageText;
constexpr MessageLines kDestFolderFailedLines = cd_format::kDestFolderFailedText;
constexpr MessageLines kCopyListFailedLines = cd_format::kCopyListMissingText;
constexpr MessageLines kFileFailedLines = cd_format::kFileFailedText;
constexpr MessageLines kSuccessLines = cd_format::kSuccessText;

// Each file is written under such a name beside its destination. A name
// that is taken (left over, or planted) is skipped for the next one.
constexpr char kTemporaryPrefix[] = "\\~orvik";
constexpr char kTemporarySuffix[] = ".tmp";
constexpr int kTemporaryNameTries = 100;

// What the failure record says was being done.
constexpr char kStepAllocate[] = "allocate the work buffer";
constexpr char kStepCreateFolder[] = "create the destination folder";
constexpr char kStepLinkedFolder[] = "refuse a destination folder that is a link";
constexpr char kStepHoldFolder[] = "hold the destination folder open";
constexpr char kStepOpenCopyList[] = "open the copy list";
constexpr char kStepReadCopyList[] = "read the copy list";
constexpr char kStepDestinationName[] = "check the destination name";
constexpr char kStepOpenSource[] = "open the source";
constexpr char kStepReadSource[] = "read the source";
constexpr char kStepOwnSource[] = "refuse a destination that is its own source";
constexpr char kStepCreateTemporary[] = "create the temporary file";
constexpr char kStepWrite[] = "write";
constexpr char kStepFlush[] = "flush to the disk";
constexpr char kStepMove[] = "move into place";

// The temporary file of one copy: removed unless it was moved into place,
// whichever way the copy ends.
class TemporaryFile {
 public:
  explicit TemporaryFile(FileSystem& files) : files_(files) {}
  ~TemporaryFile() { Discard(); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates the first free name in `folder`; false when none can be had.
  bool Create(const std::string& folder) {
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
      const std::string path = folder + kTemporaryPrefix +
                               std::to_string(attempt) + kTemporarySuffix;
      file_ = files_.CreateExclusive(path);
      if (file_) {
        path_ = path;
        return true;
      }
      // Only a name in use is worth another try.
      if (!files_.Exists(path)) return false;
    }
    return false;
  }

  File& file() { return *file_; }

  // Moves the file, closed by now, over `dest_path`; false when the move
  // fails (the file is then removed with this object).
  bool MoveTo(const std::string& dest_path) {
    if (!files_.MoveReplacing(path_, dest_path)) return false;
    path_.clear();
    return true;
  }

 private:
  void Discard() {
    file_.reset();
    if (!path_.empty()) files_.RemoveFile(path_);
    path_.clear();
  }

  FileSystem& files_;
  std::unique_ptr<File> file_;
  std::string path_;
};

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
          char language, const std::string& dest_dir, std::string& message,
          CopyFailure& failure)
      : files_(files),
        copy_list_drive_(copy_list_drive),
        source_drive_(source_drive),
        language_(language),
        dest_dir_(dest_dir),
        message_(message),
        failure_(failure) {}

  InstallResult Run() {
    message_.clear();
    if (!ObtainWorkBuffer()) {
      Note(kStepAllocate, "");
      message_ = OutOfMemoryText();
      return InstallResult::kOutOfMemory;
    }
    // Only a missing parent stops the run: a folder that already exists,
    // or cannot be made for another reason, is tried as it is.
    if (files_.CreateFolder(dest_dir_) == CreateFolderResult::kNoSuchPath)
      return Fail(InstallResult::kDestFolderFailed, kDestFolderFailedLines,
                  kStepCreateFolder, dest_dir_);
    // A folder that is a link would send the copies and the deletions
    // into wherever it points; held open, it cannot become one later.
    held_folder_ = files_.HoldFolder(dest_dir_);
    if (held_folder_->state() == FolderState::kLink)
      return Fail(InstallResult::kDestFolderFailed, kDestFolderFailedLines,
                  kStepLinkedFolder, dest_dir_);
    if (held_folder_->state() == FolderState::kNotHeld)
      return Fail(InstallResult::kDestFolderFailed, kDestFolderFailedLines,
                  kStepHoldFolder, dest_dir_);
    if (language_ != 0) g_szCopyListName[0] = language_;

    CopyList list;
    const InstallResult read = ReadCopyList(list);
    if (read != InstallResult::kOk) return read;
    const InstallResult named = CheckDestinationNames(list);
    if (named != InstallResult::kOk) return named;
    for (std::size_t position = 0; position < list.entries.size(); ++position) {
      const InstallResult result =
          HandleEntry(list.entries[position], position);
      if (result != InstallResult::kOk) return result;
    }
    RemoveStaleDataAndMakeDestinationCurrent();
    LoadMessage(kSuccessLines);
    return InstallResult::kOk;
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

  void Note(const char* step, const std::string& path) {
    failure_.step = step;
    failure_.path = path;
  }

  InstallResult Fail(InstallResult result, MessageLines lines, const char* step,
                     const std::string& path) {
    Note(step, path);
    LoadMessage(lines);
    return result;
  }

  InstallResult FailWrite(const std::string& dest_path,
                          const char* step = kStepWrite) {
    Note(step, dest_path);
    message_ = WriteFailureText(dest_path);
    return InstallResult::kWriteFailed;
  }

  std::string CopyListPath(const std::string& name) const {
    if (copy_list_drive_ != 0)
      return std::string(1, copy_list_drive_) + ":\\" + name;
    return source_drive_.PathOf(cd_format::kInstallFolder + name);
  }

  // The fallbacks change the name in the path only: the stored letter stays
  // for the next call.
  std::unique_ptr<File> OpenCopyList() {
    std::string name = g_szCopyListName;
    auto file = files_.OpenForReading(CopyListPath(name));
    for (const char fallback : cd_format::kCopyListFallbacks) {
      if (file || fallback == language_) continue;
      name[0] = fallback;
      file = files_.OpenForReading(CopyListPath(name));
    }
    return file;
  }

  // The whole list is read before any file is touched, so a damaged list
  // stops the run before it copies anything.
  InstallResult ReadCopyList(CopyList& list) {
    auto file = OpenCopyList();
    if (!file)
      return Fail(InstallResult::kCopyListFailed, kCopyListFailedLines,
                  kStepOpenCopyList, g_szCopyListName);
    const CopyListStatus status = ParseCopyList(*file, list);
    file->Close();
    if (status != CopyListStatus::kOk)
      return Fail(InstallResult::kCopyListFailed, kCopyListFailedLines,
                  kStepReadCopyList, g_szCopyListName);
    return InstallResult::kOk;
  }

  // A name that would land outside the folder, or on something other than
  // a plain file, is a destination that cannot be created; found before
  // anything is written, wherever it stands in the list.
  InstallResult CheckDestinationNames(const CopyList& list) {
    for (std::size_t position = 0; position < list.entries.size(); ++position) {
      const std::string& name = list.entries[position].name;
      if (!IsCheckOnlyPosition(position) && !DestinationName(name))
        return Fail(InstallResult::kDestFileFailed, kFileFailedLines,
                    kStepDestinationName, name);
    }
    return InstallResult::kOk;
  }

  InstallResult HandleEntry(const CopyListEntry& entry, std::size_t position) {
    const std::string source_path =
        SourcePath(entry.name, copy_list_drive_, source_drive_);
    auto source = files_.OpenForReading(source_path);
    if (!source)
      return Fail(InstallResult::kSourceFileFailed, kFileFailedLines,
                  kStepOpenSource, source_path);
    if (IsCheckOnlyPosition(position)) {
      source->Close();
      return InstallResult::kOk;
    }

    const auto dest_name = DestinationName(entry.name);
    if (!dest_name)
      return Fail(InstallResult::kDestFileFailed, kFileFailedLines,
                  kStepDestinationName, entry.name);
    const std::string dest_path = dest_dir_ + *dest_name;
    // Locked or unreadable, it is still there to keep.
    if (entry.keep_existing && files_.Exists(dest_path)) {
      source->Close();
      return InstallResult::kOk;
    }
    // Copying a file onto itself would replace the CD's own file.
    if (files_.SameFile(source_path, dest_path))
      return Fail(InstallResult::kDestFileFailed, kFileFailedLines,
                  kStepOwnSource, dest_path);
    const InstallResult result = InstallFile(*source, source_path, dest_path,
                                             SettingsFileNamed(*dest_name));
    if (result == InstallResult::kOk) source->Close();
    return result;
  }

  InstallResult InstallFile(File& source, const std::string& source_path,
                            const std::string& dest_path,
                            SettingsFile settings) {
    TemporaryFile temporary(files_);
    if (!temporary.Create(dest_dir_))
      return Fail(InstallResult::kDestFileFailed, kFileFailedLines,
                  kStepCreateTemporary, dest_path);
    const InstallResult copied = CopyFileContent(
        source, temporary.file(), source_path, dest_path, settings);
    if (copied != InstallResult::kOk) return copied;
    if (!temporary.MoveTo(dest_path))
      return Fail(InstallResult::kDestFileFailed, kFileFailedLines, kStepMove,
                  dest_path);
    return InstallResult::kOk;
  }

  InstallResult CopyFileContent(File& source, File& dest,
                                const std::string& source_path,
                                const std::string& dest_path,
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
        return Fail(InstallResult::kSourceFileFailed, kFileFailedLines,
                    kStepReadSource, source_path);
      const auto size = static_cast<std::size_t>(got);
      patcher.Patch(buffer, size);
      if (dest.Write(buffer, size) != size) return FailWrite(dest_path);
      at_line_start = buffer[size - 1] == '\n';
    }
    if (settings == SettingsFile::kStartup &&
        !AppendCdDriveLine(dest, at_line_start))
      return FailWrite(dest_path);
    // On the disk before it takes the name: after a power loss the name
    // holds the old file or the whole new one, never a file of zeros.
    if (!dest.Flush()) return FailWrite(dest_path, kStepFlush);
    if (!dest.Close()) return FailWrite(dest_path);
    return InstallResult::kOk;
  }

  char CdDriveLetter() {
    if (source_drive_.cd_drive_letter != 0) return source_drive_.cd_drive_letter;
    const char current = AsciiUpper(files_.CurrentDriveLetter());
    return current != '\0' ? current : cd_format::kNoDriveLetter;
  }

  // The line stands on a line of its own even when the copied content
  // lacks a final line feed.
  bool AppendCdDriveLine(File& dest, bool at_line_start) {
    std::string line = at_line_start ? "" : "\n";
    line += cd_format::kCdDriveLineText;
    line += CdDriveLetter();
    line += '\n';
    return dest.Write(line.data(), line.size()) == line.size();
  }

  // The data files go from where the copies went: the same prefix,
  // resolved against the same current folder. Removing them before the
  // change of folder keeps that true for a relative destination, which
  // would otherwise reach one level deeper, and for a bare drive ("c:"),
  // whose current folder need not be the root the copies went to.
  void RemoveStaleDataAndMakeDestinationCurrent() {
    for (const char* name : cd_format::kStaleDataFiles)
      files_.RemoveFile(dest_dir_ + "\\" + name);
    files_.SetCurrentFolder(dest_dir_);
  }

  FileSystem& files_;
  const char copy_list_drive_;
  // The CD: a drive, or a folder that holds its contents.
  const CdSource source_drive_;
  const char language_;
  // A copy: the caller's text must not change under us.
  const std::string dest_dir_;
  std::string& message_;
  CopyFailure& failure_;
  std::unique_ptr<HeldFolder> held_folder_;
  std::unique_ptr<char[]> buffer_;
  std::size_t chunk_ = 0;
};

}  // namespace

InstallResult CopyInstallFiles(FileSystem& files, char cCopyListDrive,
                               const CdSource& source, char cLanguage,
                               const std::string& lpszDestDir,
                               std::string& message, CopyFailure* failure) {
  CopyFailure ignored;
  CopyFailure& record = failure != nullptr ? *failure : ignored;
  record = CopyFailure();
  // Memory can run out anywhere, most readily over a copy list of absurd
  // length: a failure to report like any other, not the end of the
  // program. Unwinding has closed the files and freed the run's memory.
  try {
    return CopyRun(files, cCopyListDrive, source, cLanguage, lpszDestDir,
                   message, record)
        .Run();
  } catch (const std::bad_alloc&) {
    record.step = kStepAllocate;
    record.path.clear();
    message = OutOfMemoryText();
    return InstallResult::kOutOfMemory;
  }
}

InstallResult CopyInstallFiles(FileSystem& files, char cCopyListDrive,
                               char cSourceDrive, char cLanguage,
                               const std::string& lpszDestDir,
                               std::string& message, CopyFailure* failure) {
  return CopyInstallFiles(files, cCopyListDrive, CdDrive(cSourceDrive),
                          cLanguage, lpszDestDir, message, failure);
}

}  // namespace orvik
