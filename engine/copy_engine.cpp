#include "engine/copy_engine.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "engine/ascii.h"
#include "engine/cd_format.h"
#include "engine/copy_list.h"
#include "engine/install_message.h"
#include "engine/result_codes.h"
#include "engine/settings_file.h"
#include "engine/sha256.h"
#include "engine/temporary_file.h"

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

// A file written in full under its temporary name, waiting to be moved
// over its destination.
struct StagedFile {
  std::unique_ptr<TemporaryFile> temporary;
  std::string source_path;
  std::string dest_path;
};

// A copy whose data is written: it is flushed, closed and (installing file
// by file) moved into place, on the background queue while the next file
// is read. The step that failed, if one did, is told back.
struct FinishingFile {
  StagedFile file;
  CopyStep failed = CopyStep::kNone;
};

// Larger transfers for the files that are copied as raw bytes; the
// settings files keep the chunk, whose size decides which language lines
// are patched.
constexpr std::size_t kRawTransfer = std::size_t{1} << 20;

// A file moved into place by an all-or-nothing run, with the earlier file
// it replaced kept under a temporary name until the run has succeeded.
struct PlacedFile {
  std::string dest_path;
  std::unique_ptr<TemporaryFile> earlier;  // null: there was none
};

// One call of CopyInstallFiles.
class CopyRun {
 public:
  CopyRun(FileSystem& files, const CopyRequest& request, CopyReport& report)
      : files_(files),
        copy_list_drive_(request.copy_list_drive),
        source_drive_(request.source),
        language_(request.language),
        dest_dir_(request.dest_dir),
        all_or_nothing_(request.placement == Placement::kAllOrNothing),
        digests_(request.digests),
        replace_at_restart_(request.replace_in_use_at_restart),
        report_(report),
        message_(report.message) {}

  InstallResult Run() {
    message_.clear();
    if (!ObtainWorkBuffer()) {
      Note(CopyStep::kAllocate, "");
      message_ = OutOfMemoryText();
      return InstallResult::kOutOfMemory;
    }
    // Only a missing parent stops the run: a folder that already exists,
    // or cannot be made for another reason, is tried as it is.
    if (files_.CreateFolder(dest_dir_) == CreateFolderResult::kNoSuchPath)
      return Fail(InstallResult::kDestFolderFailed, kDestFolderFailedLines,
                  CopyStep::kCreateFolder, dest_dir_);
    // A folder that is a link would send the copies and the deletions
    // into wherever it points; held open, it cannot become one later.
    held_folder_ = files_.HoldFolder(dest_dir_);
    if (held_folder_->state() == FolderState::kLink)
      return Fail(InstallResult::kDestFolderFailed, kDestFolderFailedLines,
                  CopyStep::kLinkedFolder, dest_dir_);
    if (held_folder_->state() == FolderState::kNotHeld)
      return Fail(InstallResult::kDestFolderFailed, kDestFolderFailedLines,
                  CopyStep::kHoldFolder, dest_dir_);
    if (language_ != 0) g_szCopyListName[0] = language_;

    CopyList list;
    const InstallResult read = ReadCopyList(list);
    if (read != InstallResult::kOk) return read;
    const InstallResult named = CheckDestinationNames(list);
    if (named != InstallResult::kOk) return named;
    queue_ = files_.StartBackgroundQueue();
    for (std::size_t position = 0; position < list.entries.size(); ++position) {
      const InstallResult result =
          HandleEntry(list.entries[position], position);
      if (result != InstallResult::kOk) {
        // An earlier file whose finishing failed is the run's first failure.
        const InstallResult earlier = CollectFinishing();
        return earlier != InstallResult::kOk ? earlier : result;
      }
    }
    const InstallResult last = CollectFinishing();
    if (last != InstallResult::kOk) return last;
    if (all_or_nothing_) {
      const InstallResult placed = PlaceAll();
      if (placed != InstallResult::kOk) return placed;
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
        // Without it the raw files go through the chunk too.
        raw_buffer_ = files_.AllocateBuffer(kRawTransfer);
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

  void Note(CopyStep step, const std::string& path) {
    report_.failed_step = step;
    report_.failed_path = path;
  }

  InstallResult Fail(InstallResult result, MessageLines lines, CopyStep step,
                     const std::string& path) {
    Note(step, path);
    LoadMessage(lines);
    return result;
  }

  InstallResult FailWrite(const std::string& dest_path,
                          CopyStep step = CopyStep::kWrite) {
    Note(step, dest_path);
    message_ = WriteFailureText(dest_path);
    return InstallResult::kWriteFailed;
  }

  InstallResult FailMove(const std::string& dest_path) {
    const CopyStep step =
        files_.InUse(dest_path) ? CopyStep::kFileInUse : CopyStep::kMove;
    return Fail(InstallResult::kDestFileFailed, kFileFailedLines, step,
                dest_path);
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
                  CopyStep::kOpenCopyList, g_szCopyListName);
    const CopyListStatus status = ParseCopyList(*file, list);
    file->Close();
    if (status != CopyListStatus::kOk)
      return Fail(InstallResult::kCopyListFailed, kCopyListFailedLines,
                  CopyStep::kReadCopyList, g_szCopyListName);
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
                    CopyStep::kDestinationName, name);
    }
    return InstallResult::kOk;
  }

  InstallResult HandleEntry(const CopyListEntry& entry, std::size_t position) {
    const std::string source_path =
        SourcePath(entry.name, copy_list_drive_, source_drive_);
    auto source = files_.OpenForReading(source_path);
    if (!source)
      return Fail(InstallResult::kSourceFileFailed, kFileFailedLines,
                  CopyStep::kOpenSource, source_path);
    if (IsCheckOnlyPosition(position)) {
      source->Close();
      return InstallResult::kOk;
    }

    const auto dest_name = DestinationName(entry.name);
    if (!dest_name)
      return Fail(InstallResult::kDestFileFailed, kFileFailedLines,
                  CopyStep::kDestinationName, entry.name);
    const std::string dest_path = dest_dir_ + *dest_name;
    // Locked or unreadable, it is still there to keep.
    if (entry.keep_existing && files_.Exists(dest_path)) {
      source->Close();
      InstalledFile kept;
      kept.name = dest_name->substr(1);
      kept.kept = true;
      report_.files.push_back(std::move(kept));
      return InstallResult::kOk;
    }
    InstalledFile installed;
    installed.name = dest_name->substr(1);
    const InstallResult result =
        InstallFile(*source, source_path, dest_path,
                    SettingsFileNamed(*dest_name), installed);
    if (result != InstallResult::kOk) return result;
    source->Close();
    report_.files.push_back(std::move(installed));
    return InstallResult::kOk;
  }

  InstallResult InstallFile(File& source, const std::string& source_path,
                            const std::string& dest_path,
                            SettingsFile settings, InstalledFile& installed) {
    auto temporary = std::make_unique<TemporaryFile>(files_);
    if (!temporary->Create(dest_dir_, next_temporary_))
      return Fail(InstallResult::kDestFileFailed, kFileFailedLines,
                  CopyStep::kCreateTemporary, dest_path);
    const InstallResult copied =
        CopyFileContent(source, temporary->file(), source_path, dest_path,
                        settings, installed);
    if (copied != InstallResult::kOk) return copied;
    return HandToFinishing({std::move(temporary), source_path, dest_path});
  }

  // One file at a time is finishing: the one before is collected first,
  // and its failure is the run's.
  InstallResult HandToFinishing(StagedFile file) {
    const InstallResult earlier = CollectFinishing();
    if (earlier != InstallResult::kOk) return earlier;
    finishing_ = std::make_unique<FinishingFile>();
    finishing_->file = std::move(file);
    if (!queue_) {
      Finish(*finishing_);
      return CollectFinishing();
    }
    FinishingFile* const job = finishing_.get();
    queue_->Run([this, job] {
      try {
        Finish(*job);
      } catch (...) {
        job->failed = CopyStep::kAllocate;
      }
    });
    return InstallResult::kOk;
  }

  // Runs on the background queue when there is one: touches nothing but
  // the file and the file system.
  FinishingFile& Finish(FinishingFile& job) {
    File& file = job.file.temporary->file();
    // On the disk before it takes the name: after a power loss the name
    // holds the old file or the whole new one, never a file of zeros.
    if (!file.Flush()) {
      job.failed = CopyStep::kFlush;
      return job;
    }
    if (!file.Close()) {
      job.failed = CopyStep::kWrite;
      return job;
    }
    if (!all_or_nothing_) job.failed = MoveIntoPlace(job.file);
    return job;
  }

  // A new name takes no look before the move; only a name that is taken
  // is checked for being the source itself, which a copy would replace.
  CopyStep MoveIntoPlace(StagedFile& file) {
    switch (files_.MoveToNewName(file.temporary->path(), file.dest_path)) {
      case FileSystem::MoveResult::kMoved:
        file.temporary->Release();
        return CopyStep::kNone;
      case FileSystem::MoveResult::kNameTaken:
        if (files_.SameFile(file.source_path, file.dest_path)) return CopyStep::kOwnSource;
        return file.temporary->MoveTo(file.dest_path) ? CopyStep::kNone : CopyStep::kMove;
      case FileSystem::MoveResult::kFailed:
        break;
    }
    return CopyStep::kMove;
  }

  // Waits for the finishing file, if any, and turns its outcome into the
  // run's: staged for an all-or-nothing run, or a failure of its own.
  InstallResult CollectFinishing() {
    if (!finishing_) return InstallResult::kOk;
    if (queue_) queue_->Wait();
    const std::unique_ptr<FinishingFile> job = std::move(finishing_);
    const std::string& dest_path = job->file.dest_path;
    switch (job->failed) {
      case CopyStep::kNone:
        if (all_or_nothing_) staged_.push_back(std::move(job->file));
        return InstallResult::kOk;
      case CopyStep::kFlush:
      case CopyStep::kWrite:
        return FailWrite(dest_path, job->failed);
      case CopyStep::kOwnSource:
        return Fail(InstallResult::kDestFileFailed, kFileFailedLines, CopyStep::kOwnSource,
                    dest_path);
      case CopyStep::kAllocate:
        throw std::bad_alloc();
      default:
        return FailMove(dest_path);
    }
  }

  InstallResult CopyFileContent(File& source, File& dest,
                                const std::string& source_path,
                                const std::string& dest_path,
                                SettingsFile settings,
                                InstalledFile& installed) {
    LanguageLinePatcher patcher(settings != SettingsFile::kNone ? language_
                                                                : '\0');
    Sha256 digest;
    const bool raw = settings == SettingsFile::kNone && raw_buffer_;
    char* const buffer = raw ? raw_buffer_.get() : buffer_.get();
    const std::size_t transfer = raw ? kRawTransfer : chunk_;
    bool at_line_start = true;
    for (;;) {
      const std::int64_t got = source.Read(buffer, transfer);
      if (got == 0) break;
      // A damaged CD must not pass for the end of the file.
      if (got < 0 || static_cast<std::uint64_t>(got) > transfer)
        return Fail(InstallResult::kSourceFileFailed, kFileFailedLines,
                    CopyStep::kReadSource, source_path);
      const auto size = static_cast<std::size_t>(got);
      patcher.Patch(buffer, size);
      if (dest.Write(buffer, size) != size) return FailWrite(dest_path);
      if (digests_) digest.Add(buffer, size);
      installed.size += size;
      at_line_start = buffer[size - 1] == '\n';
    }
    if (settings == SettingsFile::kStartup) {
      const std::string line = CdDriveLine(at_line_start);
      if (dest.Write(line.data(), line.size()) != line.size())
        return FailWrite(dest_path);
      if (digests_) digest.Add(line.data(), line.size());
      installed.size += line.size();
    }
    if (digests_) installed.sha256 = digest.HexDigest();
    return InstallResult::kOk;
  }

  char CdDriveLetter() {
    if (source_drive_.cd_drive_letter != 0) return source_drive_.cd_drive_letter;
    const char current = AsciiUpper(files_.CurrentDriveLetter());
    return current != '\0' ? current : cd_format::kNoDriveLetter;
  }

  // The line stands on a line of its own even when the copied content
  // lacks a final line feed.
  std::string CdDriveLine(bool at_line_start) {
    std::string line = at_line_start ? "" : "\n";
    line += cd_format::kCdDriveLineText;
    line += CdDriveLetter();
    line += '\n';
    return line;
  }

  // Nothing is moved while a file to be replaced is in use, so the run
  // fails before it has changed anything; or, when asked, the files in use
  // are left to be replaced at the next restart.
  InstallResult PlaceAll() {
    std::vector<StagedFile*> in_use;
    for (StagedFile& staged : staged_) {
      if (!files_.InUse(staged.dest_path)) continue;
      if (!replace_at_restart_)
        return Fail(InstallResult::kDestFileFailed, kFileFailedLines,
                    CopyStep::kFileInUse, staged.dest_path);
      in_use.push_back(&staged);
    }
    std::vector<PlacedFile> placed;
    for (StagedFile& staged : staged_) {
      if (std::find(in_use.begin(), in_use.end(), &staged) != in_use.end()) continue;
      const InstallResult result = Place(staged, placed);
      if (result != InstallResult::kOk) {
        PutBack(placed);
        return result;
      }
    }
    for (StagedFile* staged : in_use) {
      if (!files_.MoveAtRestart(staged->temporary->path(), staged->dest_path)) {
        PutBack(placed);
        return Fail(InstallResult::kDestFileFailed, kFileFailedLines,
                    CopyStep::kFileInUse, staged->dest_path);
      }
      staged->temporary->Release();
      report_.replaced_at_restart.push_back(staged->dest_path);
    }
    // The earlier files go with `placed`.
    return InstallResult::kOk;
  }

  // A name that is free is taken at once; an earlier file steps aside
  // under a temporary name of its own before the new one takes its name.
  InstallResult Place(StagedFile& staged, std::vector<PlacedFile>& placed) {
    const auto moved = files_.MoveToNewName(staged.temporary->path(), staged.dest_path);
    if (moved == FileSystem::MoveResult::kMoved) {
      staged.temporary->Release();
      placed.push_back({staged.dest_path, nullptr});
      return InstallResult::kOk;
    }
    if (moved == FileSystem::MoveResult::kFailed) return FailMove(staged.dest_path);
    if (files_.SameFile(staged.source_path, staged.dest_path))
      return Fail(InstallResult::kDestFileFailed, kFileFailedLines, CopyStep::kOwnSource,
                  staged.dest_path);
    auto earlier = std::make_unique<TemporaryFile>(files_);
    if (!earlier->Create(dest_dir_, next_temporary_) || !earlier->TakeOver(staged.dest_path))
      return FailMove(staged.dest_path);
    if (!staged.temporary->MoveTo(staged.dest_path)) {
      const InstallResult failed = FailMove(staged.dest_path);
      if (files_.MoveReplacing(earlier->path(), staged.dest_path)) earlier->Release();
      return failed;
    }
    placed.push_back({staged.dest_path, std::move(earlier)});
    return InstallResult::kOk;
  }

  // Undoes the moves, the last first: each earlier file gets its name
  // back; a file that had none is removed.
  void PutBack(std::vector<PlacedFile>& placed) {
    for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
      if (!it->earlier) {
        files_.RemoveFile(it->dest_path);
      } else if (files_.MoveReplacing(it->earlier->path(), it->dest_path)) {
        it->earlier->Release();
      }
    }
    placed.clear();
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
  const bool all_or_nothing_;
  const bool digests_;
  const bool replace_at_restart_;
  CopyReport& report_;
  std::string& message_;
  std::unique_ptr<HeldFolder> held_folder_;
  std::unique_ptr<char[]> buffer_;
  std::unique_ptr<char[]> raw_buffer_;
  std::size_t chunk_ = 0;
  unsigned next_temporary_ = 0;
  std::vector<StagedFile> staged_;
  std::unique_ptr<FinishingFile> finishing_;
  // Last, so that it is destroyed first: its end waits for the job that
  // works on finishing_ and files_.
  std::unique_ptr<BackgroundQueue> queue_;
};

}  // namespace

const char* CopyStepText(CopyStep step) {
  switch (step) {
    case CopyStep::kNone: return "";
    case CopyStep::kAllocate: return "allocate the work buffer";
    case CopyStep::kCreateFolder: return "create the destination folder";
    case CopyStep::kLinkedFolder: return "refuse a destination folder that is a link";
    case CopyStep::kHoldFolder: return "hold the destination folder open";
    case CopyStep::kOpenCopyList: return "open the copy list";
    case CopyStep::kReadCopyList: return "read the copy list";
    case CopyStep::kDestinationName: return "check the destination name";
    case CopyStep::kOpenSource: return "open the source";
    case CopyStep::kReadSource: return "read the source";
    case CopyStep::kOwnSource: return "refuse a destination that is its own source";
    case CopyStep::kCreateTemporary: return "create the temporary file";
    case CopyStep::kWrite: return "write";
    case CopyStep::kFlush: return "flush to the disk";
    case CopyStep::kMove: return "move into place";
    case CopyStep::kFileInUse: return "replace a file in use";
  }
  return "?";
}

CopyReport CopyInstallFiles(FileSystem& files, const CopyRequest& request) {
  CopyReport report;
  // Memory can run out anywhere, most readily over a copy list of absurd
  // length: a failure to report like any other, not the end of the
  // program. Unwinding has closed the files and freed the run's memory.
  try {
    report.result = CopyRun(files, request, report).Run();
  } catch (const std::bad_alloc&) {
    report.result = InstallResult::kOutOfMemory;
    report.failed_step = CopyStep::kAllocate;
    report.failed_path.clear();
    report.message = OutOfMemoryText();
  }
  return report;
}

InstallResult CopyInstallFiles(FileSystem& files, char cCopyListDrive,
                               const CdSource& source, char cLanguage,
                               const std::string& lpszDestDir,
                               std::string& message) {
  CopyRequest request;
  request.copy_list_drive = cCopyListDrive;
  request.source = source;
  request.language = cLanguage;
  request.dest_dir = lpszDestDir;
  CopyReport report = CopyInstallFiles(files, request);
  message = std::move(report.message);
  return report.result;
}

InstallResult CopyInstallFiles(FileSystem& files, char cCopyListDrive,
                               char cSourceDrive, char cLanguage,
                               const std::string& lpszDestDir,
                               std::string& message) {
  return CopyInstallFiles(files, cCopyListDrive, CdDrive(cSourceDrive),
                          cLanguage, lpszDestDir, message);
}

}  // namespace orvik
