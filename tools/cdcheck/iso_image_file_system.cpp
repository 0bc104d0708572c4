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
#include "tools/cdcheck/udf_volume.h"

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

std::uint64_t BlocksOf(std::uint64_t bytes) { return (bytes + kBlockSize - 1) / kBlockSize; }

// A file's or folder's bytes as its directory record states them. Files of
// more than one extent (over 4 GiB) are not found on a CD for Setup and
// are read as their first.
ImageNode NodeOfRecord(const unsigned char* record) {
  ImageNode node;
  node.folder = (record[kRecordFlagsAt] & kFlagFolder) != 0;
  node.size = Little32(record + kRecordSizeAt);
  node.key = Little32(record + kRecordExtentAt);
  node.extents = {{node.key, static_cast<std::uint32_t>(node.size)}};
  return node;
}

// One name of a folder. ISO 9660 and Joliet records state where the bytes
// are; a UDF name tells where the file entry is that states it.
struct Entry {
  std::string recorded;  // as recorded, in UTF-8 for Joliet and UDF names
  std::string folded;    // the name Windows compares, case folded
  ImageNode node;
  UdfAddress udf_entry;
};

// Joliet names are UCS-2, big-endian; nothing for a name that is no text.
std::optional<std::string> JolietToUtf8(const unsigned char* name, std::size_t length) {
  if (length % 2 != 0) return std::nullopt;
  std::string utf8;
  for (std::size_t i = 0; i < length; i += 2) {
    const unsigned unit = static_cast<unsigned>(name[i]) << 8 | name[i + 1];
    if (unit == 0 || (unit >= 0xD800 && unit <= 0xDFFF)) return std::nullopt;
    AppendUtf8(utf8, unit);
  }
  return utf8;
}

// "SETUP.TXT;1" and "README.;1" are setup.txt and readme to Windows; UDF
// names carry no version.
std::optional<std::string> NameWindowsSees(const std::string& recorded, bool versioned) {
  std::string name = recorded;
  const std::size_t version = name.rfind(';');
  if (versioned && version != std::string::npos &&
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

// The names Windows reads: Joliet names where the image has them, else
// UDF names, else the ISO 9660 names every image has.
enum class Names { kIso9660, kJoliet, kUdf };

// What the volume descriptors tell: the root folder whose names Windows
// reads and the volume's size.
struct Volume {
  ImageNode root;
  std::uint32_t blocks = 0;
  Names names = Names::kIso9660;
  UdfVolume udf;  // when names are kUdf
};

bool IsJolietDescriptor(const unsigned char* descriptor) {
  const unsigned char* escapes = descriptor + kEscapesAt;
  return escapes[0] == '%' && escapes[1] == '/' &&
         (escapes[2] == '@' || escapes[2] == 'C' || escapes[2] == 'E');
}

ImageNode RootOf(const unsigned char* descriptor) {
  ImageNode root = NodeOfRecord(descriptor + kRootRecordAt);
  root.folder = true;
  return root;
}

BlockReader BlockReaderOf(iso9660_t* image) {
  return [image](std::uint32_t block, unsigned char* into) {
    return iso9660_iso_seek_read(image, into, static_cast<lsn_t>(block), 1) ==
           static_cast<long>(kBlockSize);
  };
}

// UDF names, when the image has them and its root folder can be found.
bool UseUdfNames(const BlockReader& read, Volume& volume) {
  const auto udf = FindUdfVolume(read, volume.blocks);
  if (!udf) return false;
  auto root = ReadUdfNode(read, *udf, udf->root);
  if (!root || !root->folder) return false;
  volume.root = std::move(*root);
  volume.names = Names::kUdf;
  volume.udf = *udf;
  return true;
}

// The extents of every record are checked against this size later, so it
// is the smaller of what the volume claims and what the image holds.
std::optional<Volume> ReadVolume(iso9660_t* image, std::uint64_t image_blocks) {
  std::vector<unsigned char> descriptor(kBlockSize);
  std::optional<Volume> primary;
  std::optional<ImageNode> joliet_root;
  for (std::uint32_t i = 0; i < kMostDescriptors; ++i) {
    if (iso9660_iso_seek_read(image, descriptor.data(), kFirstDescriptor + i, 1) !=
            static_cast<long>(kBlockSize) ||
        std::string(reinterpret_cast<const char*>(descriptor.data()) + 1, 5) != "CD001")
      break;
    const unsigned char type = descriptor[0];
    if (type == kDescriptorTerminator) break;
    if (type == kPrimaryDescriptor && !primary) {
      primary.emplace();
      primary->root = RootOf(descriptor.data());
      primary->blocks = Little32(descriptor.data() + kSpaceSizeAt);
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
    primary->names = Names::kJoliet;
  } else {
    UseUdfNames(BlockReaderOf(image), *primary);
  }
  return primary;
}

std::uint64_t ImageBlocks(const std::string& image_path) {
  struct stat info;
  if (::stat(image_path.c_str(), &info) != 0 || info.st_size < 0) return 0;
  return static_cast<std::uint64_t>(info.st_size) / kBlockSize;
}

bool WithinVolume(const ImageNode& node, std::uint32_t volume_blocks) {
  return std::all_of(node.extents.begin(), node.extents.end(), [&](const ImageExtent& extent) {
    return static_cast<std::uint64_t>(extent.block) + BlocksOf(extent.bytes) <= volume_blocks;
  });
}

// A file whose extent is not in the image: every read fails, as a drive
// fails on a sector that is not there.
class UnreadableFile : public File {
 public:
  std::int64_t Read(char*, std::size_t) override { return kReadError; }
  std::size_t Write(const char*, std::size_t) override { return 0; }
  bool Close() override { return true; }
};

// A file's or folder's bytes, block by block. Its extents were checked
// against the volume before it is read.
class NodeFile : public File {
 public:
  NodeFile(ImageHandle image, ImageNode node) : image_(std::move(image)), node_(std::move(node)) {}

  std::int64_t Read(char* buffer, std::size_t size) override {
    std::size_t done = 0;
    while (done < size && position_ < node_.size) {
      const std::size_t got = ReadSome(buffer + done, size - done);
      if (got == 0) return done > 0 ? static_cast<std::int64_t>(done) : kReadError;
      done += got;
      position_ += got;
    }
    return static_cast<std::int64_t>(done);
  }

  std::size_t Write(const char*, std::size_t) override { return 0; }
  bool Close() override { return true; }

 private:
  struct Place {
    std::uint32_t block;
    std::size_t offset;          // in the block
    std::uint64_t left_in_extent;
  };

  std::optional<Place> Locate(std::uint64_t position) const {
    std::uint64_t start = 0;
    for (const ImageExtent& extent : node_.extents) {
      if (position < start + extent.bytes) {
        const std::uint64_t into = position - start;
        return Place{static_cast<std::uint32_t>(extent.block + into / kBlockSize),
                     static_cast<std::size_t>(into % kBlockSize), extent.bytes - into};
      }
      start += extent.bytes;
    }
    return std::nullopt;
  }

  // Bytes from the position on, as many as one block gives; 0 when they
  // cannot be read.
  std::size_t ReadSome(char* into, std::size_t most) {
    const auto wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(most, node_.size - position_));
    if (node_.in_entry) {
      std::copy_n(node_.entry_data.data() + position_, wanted, into);
      return wanted;
    }
    const auto place = Locate(position_);
    if (!place || !LoadBlock(place->block)) return 0;
    const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(
        {wanted, kBlockSize - place->offset, place->left_in_extent}));
    std::copy_n(block_.data() + place->offset, take, into);
    return take;
  }

  bool LoadBlock(std::uint32_t block) {
    if (loaded_ && loaded_block_ == block) return true;
    block_.resize(kBlockSize);
    loaded_ = BlockReaderOf(image_.get())(block, block_.data());
    loaded_block_ = block;
    return loaded_;
  }

  ImageHandle image_;
  ImageNode node_;
  std::uint64_t position_ = 0;
  std::vector<unsigned char> block_;
  bool loaded_ = false;
  std::uint32_t loaded_block_ = 0;
};

bool ReadWhole(File& file, std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::int64_t got = file.Read(&bytes[done], bytes.size() - done);
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

// A folder's names, or why they cannot be had.
struct Listing {
  bool readable = false;
  std::vector<Entry> entries;
};

class IsoImageFileSystem : public FileSystem {
 public:
  IsoImageFileSystem(std::unique_ptr<QuietCdioLog> quiet, ImageHandle image,
                     const Volume& volume, char drive)
      : quiet_(std::move(quiet)), image_(std::move(image)), read_(BlockReaderOf(image_.get())),
        volume_(volume), drive_(drive) {}

  std::unique_ptr<File> OpenForReading(const std::string& path) override {
    const auto components = CdPathComponents(path, drive_);
    if (!components || components->empty()) return nullptr;
    const Found found = Find(*components);
    if (found.damaged) return std::make_unique<UnreadableFile>();
    if (!found.node || found.node->folder) return nullptr;
    if (!WithinVolume(*found.node, volume_.blocks)) return std::make_unique<UnreadableFile>();
    return std::make_unique<NodeFile>(image_, *found.node);
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
  void ParseBlock(const unsigned char* block, std::size_t length,
                  std::vector<Entry>& entries) const {
    std::size_t at = 0;
    while (at + kRecordFixedBytes <= length) {
      const unsigned char* record = block + at;
      const std::size_t record_length = record[0];
      if (record_length == 0) break;  // the rest of the block is padding
      const std::size_t name_length = record[kRecordNameLengthAt];
      if (record_length < kRecordFixedBytes + name_length || at + record_length > length) break;
      at += record_length;
      const unsigned char* name = record + kRecordFixedBytes;
      if (name_length == 1 && (name[0] == 0 || name[0] == 1)) continue;  // . and ..
      const auto recorded =
          volume_.names == Names::kJoliet
              ? JolietToUtf8(name, name_length)
              : std::optional<std::string>(
                    std::string(reinterpret_cast<const char*>(name), name_length));
      if (!recorded) continue;
      const auto folded = NameWindowsSees(*recorded, true);
      if (!folded) continue;
      entries.push_back({*recorded, *folded, NodeOfRecord(record), {}});
    }
  }

  bool ParseNames(const std::string& bytes, std::vector<Entry>& entries) const {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    if (volume_.names != Names::kUdf) {
      for (std::size_t at = 0; at < bytes.size(); at += kBlockSize)
        ParseBlock(data + at, std::min(kBlockSize, bytes.size() - at), entries);
      return true;
    }
    const auto names = ParseUdfFolder(bytes);
    if (!names) return false;
    for (const UdfName& name : *names) {
      const auto folded = NameWindowsSees(name.utf8, false);
      if (folded) entries.push_back({name.utf8, *folded, {}, name.entry});
    }
    return true;
  }

  // By the folder's first block, so that folders sharing their blocks are
  // read once.
  const Listing& ListingOf(const ImageNode& folder) {
    const auto known = listings_.find(folder.key);
    if (known != listings_.end()) return known->second;
    Listing& listing = listings_[folder.key];
    if (!WithinVolume(folder, volume_.blocks) || folder.size > folder_budget_) return listing;
    folder_budget_ -= folder.size;
    std::string bytes(static_cast<std::size_t>(folder.size), '\0');
    NodeFile reader(image_, folder);
    listing.readable = ReadWhole(reader, bytes) && ParseNames(bytes, listing.entries);
    return listing;
  }

  // The entry of `folder` that `name` names: spelled alike if there is
  // one, else the first equal ignoring case.
  static const Entry* Lookup(const Listing& folder, const std::string& name) {
    const std::string folded = FoldCase(name);
    const Entry* found = nullptr;
    for (const Entry& entry : folder.entries) {
      if (entry.folded != folded) continue;
      if (Utf8ToCp1252(entry.recorded).value_or("") == name) return &entry;
      if (!found) found = &entry;
    }
    return found;
  }

  std::optional<ImageNode> NodeOf(const Entry& entry) const {
    if (volume_.names != Names::kUdf) return entry.node;
    return ReadUdfNode(read_, volume_.udf, entry.udf_entry);
  }

  struct Found {
    std::optional<ImageNode> node;
    bool damaged = false;  // it, or a folder on the way, cannot be read
  };

  // A folder whose record points back at a folder above it would make the
  // tree endless; it is damage, as are folders outside the volume.
  Found Find(const std::vector<std::string>& components) {
    ImageNode folder = volume_.root;
    std::set<std::uint32_t> above;
    for (std::size_t i = 0;; ++i) {
      if (!above.insert(folder.key).second) return {std::nullopt, true};
      const Listing& listing = ListingOf(folder);
      if (!listing.readable) return {std::nullopt, true};
      const Entry* entry = Lookup(listing, components[i]);
      if (entry == nullptr) return {};
      auto node = NodeOf(*entry);
      if (!node) return {std::nullopt, true};
      if (i + 1 == components.size()) return {std::move(node), false};
      if (!node->folder) return {};
      folder = std::move(*node);
    }
  }

  // Declared first so that it outlives the image.
  std::unique_ptr<QuietCdioLog> quiet_;
  ImageHandle image_;
  BlockReader read_;
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
