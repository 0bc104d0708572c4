#include "tools/cdcheck/iso_image_file_system.h"

#include <cdio/iso9660.h>
#include <cdio/logging.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "engine/cd_format.h"
#include "tools/cdcheck/cd_path.h"
#include "tools/cdcheck/cp1252.h"

namespace orvik::cdcheck {

namespace {

// Windows reads the Joliet names and ignores Rock Ridge.
constexpr iso_extension_mask_t kNamesWindowsReads = ISO_EXTENSION_JOLIET;
constexpr std::size_t kBlockSize = ISO_BLOCKSIZE;

// Where the volume descriptors begin, and how many are looked at before
// the image is taken to have no terminator.
constexpr std::uint32_t kFirstDescriptor = 16;
constexpr std::uint32_t kMostDescriptors = 32;
constexpr unsigned char kPrimaryDescriptor = 1;
constexpr unsigned char kSupplementaryDescriptor = 2;
constexpr unsigned char kDescriptorTerminator = 255;

// What the checker reads of the image's folders in all: a CD for Setup
// holds a few hundred names; a hostile image may claim folders of
// gigabytes, or many folders over the same blocks.
constexpr std::uint64_t kMostFolderBytes = 8u << 20;

// The fields of a directory record that the reader uses.
constexpr std::size_t kRecordFixedBytes = 33;
constexpr std::size_t kRecordExtentAt = 2;
constexpr std::size_t kRecordSizeAt = 10;
constexpr std::size_t kRecordFlagsAt = 25;
constexpr std::size_t kRecordNameLengthAt = 32;
constexpr unsigned char kFlagFolder = 0x02;
constexpr std::size_t kRootRecordAt = 156;
constexpr std::size_t kSpaceSizeAt = 80;
constexpr std::size_t kEscapesAt = 88;

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

std::uint32_t Little32(const unsigned char* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

// A file's or folder's extent as its directory record states it. Files of
// more than one extent (over 4 GiB) are not found on a CD for Setup and
// are read as their first.
struct Entry {
  std::string recorded;  // as recorded, in UTF-8 for Joliet names
  std::string folded;    // the name Windows compares, case folded
  bool folder = false;
  std::uint32_t lsn = 0;
  std::uint32_t size = 0;
};

std::uint64_t BlocksOf(std::uint64_t bytes) { return (bytes + kBlockSize - 1) / kBlockSize; }

// Joliet names are UCS-2, big-endian; nothing for a name that is no text.
std::optional<std::string> JolietToUtf8(const unsigned char* name, std::size_t length) {
  if (length % 2 != 0) return std::nullopt;
  std::string utf8;
  for (std::size_t i = 0; i < length; i += 2) {
    const unsigned unit = static_cast<unsigned>(name[i]) << 8 | name[i + 1];
    if (unit == 0 || (unit >= 0xD800 && unit <= 0xDFFF)) return std::nullopt;
    if (unit < 0x80) {
      utf8 += static_cast<char>(unit);
    } else if (unit < 0x800) {
      utf8 += static_cast<char>(0xC0 | unit >> 6);
      utf8 += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
      utf8 += static_cast<char>(0xE0 | unit >> 12);
      utf8 += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  return utf8;
}

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
  // A name with no Windows-1252 spelling cannot be named by Setup's
  // single-byte paths.
  const auto cp1252 = Utf8ToCp1252(name);
  if (!cp1252) return std::nullopt;
  return FoldCase(*cp1252);
}

// What the volume descriptors tell: the root folder whose names Windows
// reads and the volume's size.
struct Volume {
  Entry root;
  std::uint32_t blocks = 0;
  bool joliet = false;
};

bool IsJolietDescriptor(const unsigned char* descriptor) {
  const unsigned char* escapes = descriptor + kEscapesAt;
  return escapes[0] == '%' && escapes[1] == '/' &&
         (escapes[2] == '@' || escapes[2] == 'C' || escapes[2] == 'E');
}

Entry RootOf(const unsigned char* descriptor) {
  const unsigned char* record = descriptor + kRootRecordAt;
  Entry root;
  root.folder = true;
  root.lsn = Little32(record + kRecordExtentAt);
  root.size = Little32(record + kRecordSizeAt);
  return root;
}

// The extents of every record are checked against this size later, so it
// is the smaller of what the volume claims and what the image holds.
std::optional<Volume> ReadVolume(iso9660_t* image, std::uint64_t image_blocks) {
  std::vector<unsigned char> descriptor(kBlockSize);
  std::optional<Volume> primary;
  std::optional<Entry> joliet_root;
  for (std::uint32_t i = 0; i < kMostDescriptors; ++i) {
    if (iso9660_iso_seek_read(image, descriptor.data(), kFirstDescriptor + i, 1) !=
            static_cast<long>(kBlockSize) ||
        std::string(reinterpret_cast<const char*>(descriptor.data()) + 1, 5) != "CD001")
      break;
    const unsigned char type = descriptor[0];
    if (type == kDescriptorTerminator) break;
    if (type == kPrimaryDescriptor && !primary) {
      primary = Volume{RootOf(descriptor.data()),
                       Little32(descriptor.data() + kSpaceSizeAt), false};
    } else if (type == kSupplementaryDescriptor && !joliet_root &&
               IsJolietDescriptor(descriptor.data())) {
      joliet_root = RootOf(descriptor.data());
    }
  }
  if (!primary) return std::nullopt;
  primary->blocks = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(primary->blocks, image_blocks));
  if (joliet_root) {
    primary->root = *joliet_root;
    primary->joliet = true;
  }
  return primary;
}

std::uint64_t ImageBlocks(const std::string& image_path) {
  struct stat info;
  if (::stat(image_path.c_str(), &info) != 0 || info.st_size < 0) return 0;
  return static_cast<std::uint64_t>(info.st_size) / kBlockSize;
}

bool WithinVolume(const Entry& entry, std::uint32_t volume_blocks) {
  return static_cast<std::uint64_t>(entry.lsn) + BlocksOf(entry.size) <= volume_blocks;
}

// A file whose extent is not in the image: every read fails, as a drive
// fails on a sector that is not there.
class UnreadableFile : public File {
 public:
  std::int64_t Read(char*, std::size_t) override { return kReadError; }
  std::size_t Write(const char*, std::size_t) override { return 0; }
  bool Close() override { return true; }
};

class IsoFile : public File {
 public:
  IsoFile(ImageHandle image, std::uint32_t lsn, std::uint32_t size)
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
  // The extent was checked against the volume when it was listed.
  bool LoadBlock(std::uint64_t block) {
    if (loaded_ && loaded_block_ == block) return true;
    block_.resize(kBlockSize);
    const long got = iso9660_iso_seek_read(image_.get(), block_.data(),
                                           static_cast<lsn_t>(lsn_ + block), 1);
    loaded_ = got == static_cast<long>(kBlockSize);
    loaded_block_ = block;
    return loaded_;
  }

  ImageHandle image_;
  std::uint32_t lsn_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
  std::vector<char> block_;
  bool loaded_ = false;
  std::uint64_t loaded_block_ = 0;
};

// A folder's names, or why they cannot be had.
struct Listing {
  bool readable = false;
  std::vector<Entry> entries;
};

class IsoImageFileSystem : public FileSystem {
 public:
  IsoImageFileSystem(std::unique_ptr<QuietCdioLog> quiet, ImageHandle image,
                     const Volume& volume, char drive)
      : quiet_(std::move(quiet)), image_(std::move(image)), volume_(volume),
        drive_(drive) {}

  std::unique_ptr<File> OpenForReading(const std::string& path) override {
    const auto components = CdPathComponents(path, drive_);
    if (!components || components->empty()) return nullptr;
    const Found found = Find(*components);
    if (found.damaged) return std::make_unique<UnreadableFile>();
    if (!found.entry || found.entry->folder) return nullptr;
    if (!WithinVolume(*found.entry, volume_.blocks))
      return std::make_unique<UnreadableFile>();
    return std::make_unique<IsoFile>(image_, found.entry->lsn, found.entry->size);
  }

  // A pressed CD cannot be changed.
  CreateFolderResult CreateFolder(const std::string&) override {
    return CreateFolderResult::kOtherError;
  }
  bool SetCurrentFolder(const std::string&) override { return false; }
  bool RemoveFile(const std::string&) override { return false; }
  char CurrentDriveLetter() override { return cd_format::kNoDriveLetter; }

 private:
  // The records of one block; a record that does not fit its block ends
  // what is read of it.
  void ParseBlock(const unsigned char* block, std::vector<Entry>& entries) const {
    std::size_t at = 0;
    while (at + kRecordFixedBytes <= kBlockSize) {
      const unsigned char* record = block + at;
      const std::size_t length = record[0];
      if (length == 0) break;  // the rest of the block is padding
      const std::size_t name_length = record[kRecordNameLengthAt];
      if (length < kRecordFixedBytes + name_length || at + length > kBlockSize) break;
      at += length;
      const unsigned char* name = record + kRecordFixedBytes;
      if (name_length == 1 && (name[0] == 0 || name[0] == 1)) continue;  // . and ..
      const auto recorded =
          volume_.joliet ? JolietToUtf8(name, name_length)
                         : std::optional<std::string>(
                               std::string(reinterpret_cast<const char*>(name), name_length));
      if (!recorded) continue;
      const auto folded = NameWindowsSees(*recorded);
      if (!folded) continue;
      entries.push_back({*recorded, *folded, (record[kRecordFlagsAt] & kFlagFolder) != 0,
                         Little32(record + kRecordExtentAt), Little32(record + kRecordSizeAt)});
    }
  }

  // By extent, so that folders sharing their blocks are read once.
  const Listing& ListingOf(const Entry& folder) {
    const auto known = listings_.find(folder.lsn);
    if (known != listings_.end()) return known->second;
    Listing& listing = listings_[folder.lsn];
    if (!WithinVolume(folder, volume_.blocks) || folder.size > folder_budget_)
      return listing;
    folder_budget_ -= folder.size;
    std::vector<unsigned char> block(kBlockSize);
    for (std::uint64_t i = 0; i < BlocksOf(folder.size); ++i) {
      if (iso9660_iso_seek_read(image_.get(), block.data(),
                                static_cast<lsn_t>(folder.lsn + i), 1) !=
          static_cast<long>(kBlockSize))
        return listing;
      ParseBlock(block.data(), listing.entries);
    }
    listing.readable = true;
    return listing;
  }

  // The entry of `folder` that `name` names: spelled alike if there is
  // one, else the first equal ignoring case.
  static std::optional<Entry> Lookup(const Listing& folder, const std::string& name) {
    const std::string folded = FoldCase(name);
    std::optional<Entry> found;
    for (const Entry& entry : folder.entries) {
      if (entry.folded != folded) continue;
      if (Utf8ToCp1252(entry.recorded).value_or("") == name) return entry;
      if (!found) found = entry;
    }
    return found;
  }

  struct Found {
    std::optional<Entry> entry;
    bool damaged = false;  // a folder on the way cannot be read
  };

  // A folder whose record points back at a folder above it would make the
  // tree endless; it is damage, as are folders outside the volume.
  Found Find(const std::vector<std::string>& components) {
    Entry folder = volume_.root;
    std::set<std::uint32_t> above;
    Found found;
    for (std::size_t i = 0; i < components.size(); ++i) {
      if (i > 0 && !found.entry->folder) return {};
      if (!above.insert(folder.lsn).second) return {std::nullopt, true};
      const Listing& listing = ListingOf(folder);
      if (!listing.readable) return {std::nullopt, true};
      found.entry = Lookup(listing, components[i]);
      if (!found.entry) return {};
      folder = *found.entry;
    }
    return found;
  }

  // Declared first so that it outlives the image.
  std::unique_ptr<QuietCdioLog> quiet_;
  ImageHandle image_;
  Volume volume_;
  char drive_;
  std::uint64_t folder_budget_ = kMostFolderBytes;
  std::map<std::uint32_t, Listing> listings_;  // by the folder's first block
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
  ImageHandle image(opened, ImageCloser());
  const auto volume = ReadVolume(opened, ImageBlocks(image_path));
  if (!volume) {
    error = image_path + ": no primary volume descriptor, not an ISO 9660 image";
    return nullptr;
  }
  return std::make_unique<IsoImageFileSystem>(std::move(quiet), std::move(image), *volume,
                                              drive);
}

}  // namespace orvik::cdcheck
