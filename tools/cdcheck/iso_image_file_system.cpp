#include "tools/cdcheck/iso_image_file_system.h"

#include <cdio/iso9660.h>
#include <cdio/logging.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "engine/cd_format.h"
#include "tools/cdcheck/cd_path.h"
#include "tools/cdcheck/cp1252.h"

namespace orvik::cdcheck {

namespace {

// Windows reads the Joliet names and ignores Rock Ridge.
constexpr iso_extension_mask_t kNamesWindowsReads = ISO_EXTENSION_JOLIET;
constexpr std::size_t kBlockSize = ISO_BLOCKSIZE;
constexpr char kNoDrive = cd_format::kNoDriveLetter;

// libcdio prints its own complaints about a damaged image to stderr; the
// checker says in its report what it could not read, so they are held back
// while an image is open.
class QuietCdioLog {
 public:
  QuietCdioLog() : saved_(cdio_log_set_handler(Discard)) {}
  ~QuietCdioLog() { cdio_log_set_handler(saved_); }
  QuietCdioLog(const QuietCdioLog&) = delete;
  QuietCdioLog& operator=(const QuietCdioLog&) = delete;

 private:
  static void Discard(cdio_log_level_t, const char*) {}
  cdio_log_handler_t saved_;
};

struct ImageCloser {
  void operator()(iso9660_t* image) const { iso9660_close(image); }
};
using ImageHandle = std::shared_ptr<iso9660_t>;

struct FileListFree {
  void operator()(CdioList_t* list) const { iso9660_filelist_free(list); }
};
using FileList = std::unique_ptr<CdioList_t, FileListFree>;

// A file's extent; files of more than one extent (over 4 GiB) are not
// found on a CD for Setup and are read as their first.
struct Entry {
  std::string image_name;  // as recorded, for libcdio's own lookups
  std::string folded;      // the name Windows compares, case folded
  bool folder = false;
  lsn_t lsn = 0;
  std::uint32_t size = 0;
};

// "SETUP.TXT;1" and "README.;1" are setup.txt and readme to Windows.
std::optional<std::string> NameWindowsSees(const std::string& recorded) {
  std::string name = recorded;
  const std::size_t version = name.rfind(';');
  if (version != std::string::npos &&
      std::all_of(name.begin() + static_cast<std::ptrdiff_t>(version) + 1, name.end(),
                  [](char c) { return c >= '0' && c <= '9'; }))
    name.erase(version);
  while (!name.empty() && name.back() == '.') name.pop_back();
  if (name.empty()) return std::nullopt;
  // libcdio gives Joliet names in UTF-8; a name with no Windows-1252
  // spelling cannot be named by Setup's single-byte paths.
  const auto cp1252 = Utf8ToCp1252(name);
  if (!cp1252) return std::nullopt;
  return FoldCase(*cp1252);
}

class IsoFile : public File {
 public:
  IsoFile(ImageHandle image, lsn_t lsn, std::uint32_t size)
      : image_(std::move(image)), lsn_(lsn), size_(size) {}

  std::int64_t Read(char* buffer, std::size_t size) override {
    std::size_t done = 0;
    while (done < size && position_ < size_) {
      const std::uint64_t block = position_ / kBlockSize;
      if (!LoadBlock(block))
        return done > 0 ? static_cast<std::int64_t>(done) : kReadError;
      const std::size_t offset = static_cast<std::size_t>(position_ % kBlockSize);
      const std::size_t in_file = static_cast<std::size_t>(size_ - position_);
      const std::size_t take = std::min({size - done, kBlockSize - offset, in_file});
      std::copy_n(block_.data() + offset, take, buffer + done);
      done += take;
      position_ += take;
    }
    return static_cast<std::int64_t>(done);
  }

  std::size_t Write(const char*, std::size_t) override { return 0; }
  bool Close() override { return true; }

 private:
  bool LoadBlock(std::uint64_t block) {
    if (loaded_ && loaded_block_ == block) return true;
    // A hostile extent may point past what a sector number can hold.
    const std::int64_t sector =
        static_cast<std::int64_t>(lsn_) + static_cast<std::int64_t>(block);
    if (sector > INT32_MAX) return false;
    block_.resize(kBlockSize);
    const long got = iso9660_iso_seek_read(image_.get(), block_.data(),
                                           static_cast<lsn_t>(sector), 1);
    loaded_ = got == static_cast<long>(kBlockSize);
    loaded_block_ = block;
    return loaded_;
  }

  ImageHandle image_;
  lsn_t lsn_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
  std::vector<char> block_;
  bool loaded_ = false;
  std::uint64_t loaded_block_ = 0;
};

class IsoImageFileSystem : public FileSystem {
 public:
  IsoImageFileSystem(std::unique_ptr<QuietCdioLog> quiet, ImageHandle image, char drive)
      : quiet_(std::move(quiet)), image_(std::move(image)), drive_(drive) {}

  std::unique_ptr<File> OpenForReading(const std::string& path) override {
    const auto components = CdPathComponents(path, drive_);
    if (!components || components->empty()) return nullptr;
    const auto entry = Find(*components);
    if (!entry || entry->folder) return nullptr;
    return std::make_unique<IsoFile>(image_, entry->lsn, entry->size);
  }

  // A pressed CD cannot be changed.
  CreateFolderResult CreateFolder(const std::string&) override {
    return CreateFolderResult::kOtherError;
  }
  bool SetCurrentFolder(const std::string&) override { return false; }
  bool RemoveFile(const std::string&) override { return false; }
  char CurrentDriveLetter() override { return kNoDrive; }

 private:
  const std::vector<Entry>& Listing(const std::string& image_folder) {
    const auto known = listings_.find(image_folder);
    if (known != listings_.end()) return known->second;
    std::vector<Entry>& entries = listings_[image_folder];
    const FileList list(iso9660_ifs_readdir(image_.get(), image_folder.c_str()));
    if (!list) return entries;
    for (CdioListNode_t* node = _cdio_list_begin(list.get()); node != nullptr;
         node = _cdio_list_node_next(node)) {
      const auto* stat = static_cast<const iso9660_stat_t*>(_cdio_list_node_data(node));
      const std::string recorded = stat->filename;
      if (recorded == "." || recorded == "..") continue;
      const auto folded = NameWindowsSees(recorded);
      if (!folded) continue;
      entries.push_back({recorded, *folded, stat->type == iso9660_stat_s::_STAT_DIR,
                         stat->lsn, stat->size});
    }
    return entries;
  }

  // The entry of `folder` that `name` names: spelled alike if there is
  // one, else the first equal ignoring case.
  std::optional<Entry> Lookup(const std::string& image_folder, const std::string& name) {
    const std::string folded = FoldCase(name);
    std::optional<Entry> found;
    for (const Entry& entry : Listing(image_folder)) {
      if (entry.folded != folded) continue;
      if (Utf8ToCp1252(entry.image_name).value_or("") == name) return entry;
      if (!found) found = entry;
    }
    return found;
  }

  std::optional<Entry> Find(const std::vector<std::string>& components) {
    std::string image_folder = "/";
    std::optional<Entry> entry;
    for (std::size_t i = 0; i < components.size(); ++i) {
      if (entry && !entry->folder) return std::nullopt;
      entry = Lookup(image_folder, components[i]);
      if (!entry) return std::nullopt;
      image_folder += entry->image_name + "/";
    }
    return entry;
  }

  // Declared first so that it outlives the image.
  std::unique_ptr<QuietCdioLog> quiet_;
  ImageHandle image_;
  char drive_;
  std::map<std::string, std::vector<Entry>> listings_;  // by image folder
};

}  // namespace

std::unique_ptr<FileSystem> OpenIsoImage(const std::string& image_path, char drive,
                                         std::string& error) {
  auto quiet = std::make_unique<QuietCdioLog>();
  iso9660_t* opened = iso9660_open_ext(image_path.c_str(), kNamesWindowsReads);
  if (opened == nullptr) {
    error = image_path + " is neither a folder nor an ISO 9660 image";
    return nullptr;
  }
  return std::make_unique<IsoImageFileSystem>(std::move(quiet),
                                              ImageHandle(opened, ImageCloser()), drive);
}

}  // namespace orvik::cdcheck
