#include "tools/cdcheck/udf_volume.h"

#include <algorithm>
#include <array>

#include "tools/cdcheck/cp1252.h"

namespace orvik::cdcheck {

namespace {

constexpr std::size_t kBlockSize = 2048;
using Block = std::array<unsigned char, kBlockSize>;

// The recognition sequence follows the ISO 9660 descriptors from block 16;
// a UDF volume announces itself there before its anchor is looked for.
constexpr std::uint32_t kFirstRecognitionBlock = 16;
constexpr std::uint32_t kMostRecognitionBlocks = 64;
constexpr std::uint32_t kAnchorBlock = 256;
// A descriptor sequence holds a handful of descriptors; a longer one
// claimed is read this far.
constexpr std::uint32_t kMostSequenceBlocks = 64;

// Descriptor tags.
constexpr std::uint16_t kTagAnchor = 2;
constexpr std::uint16_t kTagPartition = 5;
constexpr std::uint16_t kTagLogicalVolume = 6;
constexpr std::uint16_t kTagTerminating = 8;
constexpr std::uint16_t kTagFileSet = 256;
constexpr std::uint16_t kTagFileIdentifier = 257;
constexpr std::uint16_t kTagFileEntry = 261;
constexpr std::uint16_t kTagExtendedFileEntry = 266;
constexpr std::size_t kTagBytes = 16;
constexpr std::size_t kTagChecksumAt = 4;

// Fields of the descriptors that the reader uses.
constexpr std::size_t kAnchorMainSequenceAt = 16;
constexpr std::size_t kPartitionNumberAt = 22;
constexpr std::size_t kPartitionStartAt = 188;
constexpr std::size_t kPartitionLengthAt = 192;
constexpr std::size_t kVolumeBlockSizeAt = 212;
constexpr std::size_t kVolumeFileSetAt = 248;
constexpr std::size_t kVolumeMapCountAt = 268;
constexpr std::size_t kVolumeFirstMapAt = 440;
constexpr unsigned char kPhysicalPartitionMap = 1;
constexpr unsigned char kPhysicalPartitionMapBytes = 6;
constexpr std::size_t kFileSetRootAt = 400;

constexpr std::size_t kEntryFileTypeAt = 27;
constexpr std::size_t kEntryFlagsAt = 34;
constexpr std::size_t kEntrySizeAt = 56;
constexpr unsigned char kFileTypeFolder = 4;
constexpr unsigned char kFileTypeFile = 5;
constexpr std::uint16_t kAllocationMask = 7;
constexpr std::uint16_t kShortAllocation = 0;
constexpr std::uint16_t kLongAllocation = 1;
constexpr std::uint16_t kDataInEntry = 3;
// Where a file entry's lengths of extended attributes and allocation
// descriptors are; the descriptors follow the attributes.
struct EntryLayout {
  std::size_t attributes_length_at;
  std::size_t fixed_bytes;
};
constexpr EntryLayout kFileEntryLayout = {168, 176};
constexpr EntryLayout kExtendedFileEntryLayout = {208, 216};

constexpr std::size_t kShortDescriptorBytes = 8;
constexpr std::size_t kLongDescriptorBytes = 16;
// An extent's length holds its kind in the top two bits: only recorded
// extents hold a file's bytes.
constexpr std::uint32_t kExtentLengthMask = 0x3FFFFFFF;
constexpr std::uint32_t kExtentRecorded = 0;

constexpr std::size_t kNameFixedBytes = 38;
constexpr std::size_t kNameCharacteristicsAt = 18;
constexpr std::size_t kNameLengthAt = 19;
constexpr std::size_t kNameEntryAt = 20;
constexpr std::size_t kNameImplementationLengthAt = 36;
constexpr unsigned char kNameDeleted = 0x04;
constexpr unsigned char kNameParent = 0x08;
constexpr unsigned char kEightBitName = 8;
constexpr unsigned char kSixteenBitName = 16;

std::uint16_t Little16(const unsigned char* at) {
  return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

std::uint32_t Little32(const unsigned char* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

std::uint64_t Little64(const unsigned char* at) {
  return Little32(at) | static_cast<std::uint64_t>(Little32(at + 4)) << 32;
}

std::uint64_t BlocksOf(std::uint64_t bytes) { return (bytes + kBlockSize - 1) / kBlockSize; }

// A descriptor's tag names its kind and sums its own bytes: file data that
// happens to begin with a tag's number is not taken for one.
bool HasTag(const unsigned char* descriptor, std::size_t available, std::uint16_t tag) {
  if (available < kTagBytes || Little16(descriptor) != tag) return false;
  unsigned sum = 0;
  for (std::size_t i = 0; i < kTagBytes; ++i)
    if (i != kTagChecksumAt) sum += descriptor[i];
  return (sum & 0xFF) == descriptor[kTagChecksumAt];
}

bool ReadTagged(const BlockReader& read, std::uint32_t block, std::uint16_t tag, Block& into) {
  return read(block, into.data()) && HasTag(into.data(), into.size(), tag);
}

// "NSR02" or "NSR03" among the recognition descriptors.
bool AnnouncesUdf(const BlockReader& read) {
  Block block;
  for (std::uint32_t i = 0; i < kMostRecognitionBlocks; ++i) {
    if (!read(kFirstRecognitionBlock + i, block.data())) return false;
    const std::string id(reinterpret_cast<const char*>(block.data()) + 1, 5);
    if (id == "NSR02" || id == "NSR03") return true;
    if (id != "CD001" && id != "BEA01" && id != "TEA01" && id != "BOOT2") return false;
  }
  return false;
}

UdfAddress AddressAt(const unsigned char* long_descriptor) {
  return {Little32(long_descriptor + 4), Little16(long_descriptor + 8)};
}

struct Descriptors {
  std::optional<Block> partition;
  std::optional<Block> logical_volume;
};

Descriptors ReadSequence(const BlockReader& read, std::uint32_t first, std::uint32_t blocks) {
  Descriptors found;
  Block block;
  for (std::uint32_t i = 0; i < std::min(blocks, kMostSequenceBlocks); ++i) {
    if (!read(first + i, block.data()) || HasTag(block.data(), kBlockSize, kTagTerminating))
      break;
    if (HasTag(block.data(), kBlockSize, kTagPartition) && !found.partition)
      found.partition = block;
    else if (HasTag(block.data(), kBlockSize, kTagLogicalVolume) && !found.logical_volume)
      found.logical_volume = block;
  }
  return found;
}

// The one partition of a CD, named by the volume's first map.
bool MapsThePartition(const Block& logical_volume, const Block& partition) {
  const unsigned char* map = logical_volume.data() + kVolumeFirstMapAt;
  return Little32(logical_volume.data() + kVolumeMapCountAt) >= 1 &&
         map[0] == kPhysicalPartitionMap && map[1] == kPhysicalPartitionMapBytes &&
         Little16(map + 4) == Little16(partition.data() + kPartitionNumberAt);
}

// The block of the image that a partition block is, if in the partition.
std::optional<std::uint32_t> ImageBlockOf(const UdfVolume& volume, UdfAddress address,
                                          std::uint64_t blocks = 1) {
  if (address.partition != 0 ||
      static_cast<std::uint64_t>(address.block) + blocks > volume.partition_blocks)
    return std::nullopt;
  return volume.partition_start + address.block;
}

std::optional<std::vector<ImageExtent>> ExtentsOf(const UdfVolume& volume,
                                                  const unsigned char* descriptors,
                                                  std::size_t length, std::size_t each,
                                                  std::uint64_t size) {
  std::vector<ImageExtent> extents;
  std::uint64_t covered = 0;
  for (std::size_t at = 0; at + each <= length && covered < size; at += each) {
    const std::uint32_t field = Little32(descriptors + at);
    const std::uint32_t bytes = field & kExtentLengthMask;
    if (bytes == 0) break;
    // An extent not recorded (or one continuing the list elsewhere) where
    // the file's bytes should be: the file cannot be read.
    if (field >> 30 != kExtentRecorded) return std::nullopt;
    const UdfAddress address = each == kShortDescriptorBytes
                                   ? UdfAddress{Little32(descriptors + at + 4), 0}
                                   : AddressAt(descriptors + at);
    const auto block = ImageBlockOf(volume, address, BlocksOf(bytes));
    if (!block) return std::nullopt;
    extents.push_back({*block, bytes});
    covered += bytes;
    // Extents over the same blocks again and again would make a file
    // larger than the image, to be read for as long.
    if (covered > static_cast<std::uint64_t>(volume.partition_blocks) * kBlockSize)
      return std::nullopt;
  }
  if (covered < size) return std::nullopt;
  return extents;
}

std::optional<std::string> NameToUtf8(const unsigned char* name, std::size_t length) {
  if (length < 2) return std::nullopt;
  const unsigned char compression = name[0];
  std::string utf8;
  if (compression == kEightBitName) {
    for (std::size_t i = 1; i < length; ++i) {
      if (name[i] == 0) return std::nullopt;
      AppendUtf8(utf8, name[i]);
    }
    return utf8;
  }
  if (compression != kSixteenBitName || length % 2 == 0) return std::nullopt;
  for (std::size_t i = 1; i < length; i += 2) {
    const unsigned unit = static_cast<unsigned>(name[i]) << 8 | name[i + 1];
    if (unit == 0 || (unit >= 0xD800 && unit <= 0xDFFF)) return std::nullopt;
    AppendUtf8(utf8, unit);
  }
  return utf8;
}

}  // namespace

std::optional<UdfVolume> FindUdfVolume(const BlockReader& read, std::uint32_t volume_blocks) {
  const BlockReader bounded = [&](std::uint32_t block, unsigned char* into) {
    return block < volume_blocks && read(block, into);
  };
  Block anchor;
  if (!AnnouncesUdf(bounded) || !ReadTagged(bounded, kAnchorBlock, kTagAnchor, anchor))
    return std::nullopt;
  const unsigned char* sequence = anchor.data() + kAnchorMainSequenceAt;
  const Descriptors found = ReadSequence(bounded, Little32(sequence + 4),
                                         static_cast<std::uint32_t>(BlocksOf(Little32(sequence))));
  if (!found.partition || !found.logical_volume ||
      Little32(found.logical_volume->data() + kVolumeBlockSizeAt) != kBlockSize ||
      !MapsThePartition(*found.logical_volume, *found.partition))
    return std::nullopt;
  UdfVolume volume;
  volume.partition_start = Little32(found.partition->data() + kPartitionStartAt);
  if (volume.partition_start >= volume_blocks) return std::nullopt;
  volume.partition_blocks = std::min(Little32(found.partition->data() + kPartitionLengthAt),
                                     volume_blocks - volume.partition_start);
  const auto file_set =
      ImageBlockOf(volume, AddressAt(found.logical_volume->data() + kVolumeFileSetAt));
  Block file_set_descriptor;
  if (!file_set || !ReadTagged(bounded, *file_set, kTagFileSet, file_set_descriptor))
    return std::nullopt;
  volume.root = AddressAt(file_set_descriptor.data() + kFileSetRootAt);
  return volume;
}

std::optional<ImageNode> ReadUdfNode(const BlockReader& read, const UdfVolume& volume,
                                     UdfAddress address) {
  const auto block = ImageBlockOf(volume, address);
  Block entry;
  if (!block || !read(*block, entry.data())) return std::nullopt;
  const bool extended = HasTag(entry.data(), kBlockSize, kTagExtendedFileEntry);
  if (!extended && !HasTag(entry.data(), kBlockSize, kTagFileEntry)) return std::nullopt;
  const EntryLayout layout = extended ? kExtendedFileEntryLayout : kFileEntryLayout;
  const unsigned char type = entry[kEntryFileTypeAt];
  if (type != kFileTypeFolder && type != kFileTypeFile) return std::nullopt;
  const std::uint64_t attributes = Little32(entry.data() + layout.attributes_length_at);
  const std::uint64_t descriptors_length =
      Little32(entry.data() + layout.attributes_length_at + 4);
  if (layout.fixed_bytes + attributes + descriptors_length > kBlockSize) return std::nullopt;
  const unsigned char* descriptors = entry.data() + layout.fixed_bytes + attributes;
  const auto length = static_cast<std::size_t>(descriptors_length);

  ImageNode node;
  node.folder = type == kFileTypeFolder;
  node.size = Little64(entry.data() + kEntrySizeAt);
  node.key = *block;
  const std::uint16_t allocation = Little16(entry.data() + kEntryFlagsAt) & kAllocationMask;
  if (allocation == kDataInEntry) {
    if (node.size > length) return std::nullopt;
    node.in_entry = true;
    node.entry_data.assign(reinterpret_cast<const char*>(descriptors),
                           static_cast<std::size_t>(node.size));
    return node;
  }
  if (allocation != kShortAllocation && allocation != kLongAllocation) return std::nullopt;
  auto extents = ExtentsOf(
      volume, descriptors, length,
      allocation == kShortAllocation ? kShortDescriptorBytes : kLongDescriptorBytes, node.size);
  if (!extents) return std::nullopt;
  node.extents = std::move(*extents);
  return node;
}

std::optional<std::vector<UdfName>> ParseUdfFolder(const std::string& bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  std::vector<UdfName> names;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const unsigned char* name = data + at;
    const std::size_t available = bytes.size() - at;
    if (available < kNameFixedBytes || !HasTag(name, available, kTagFileIdentifier))
      return std::nullopt;
    const std::size_t name_length = name[kNameLengthAt];
    const std::size_t skipped = Little16(name + kNameImplementationLengthAt);
    const std::size_t length = (kNameFixedBytes + skipped + name_length + 3) / 4 * 4;
    if (kNameFixedBytes + skipped + name_length > available) return std::nullopt;
    at += std::min(length, available);
    if ((name[kNameCharacteristicsAt] & (kNameDeleted | kNameParent)) != 0) continue;
    const auto utf8 = NameToUtf8(name + kNameFixedBytes + skipped, name_length);
    if (utf8) names.push_back({*utf8, AddressAt(name + kNameEntryAt)});
  }
  return names;
}

}  // namespace orvik::cdcheck
