// The UDF names of an image, the names Windows reads on a CD that has no
// Joliet names: where its partition lies, which names a folder holds and
// where each file's bytes are. Nothing here reads file data; the image
// reader reads it through its own bounded block reads, with the extents
// found here already checked against the partition and the volume.
//
// The subset is what image makers write for a CD: one partition of 2048-
// byte blocks, file entries (also extended ones) with short or long
// allocation descriptors or their data inside the entry.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvik::cdcheck {

// Reads block `block` of the image (2048 bytes) into `into`; false when it
// cannot be read.
using BlockReader = std::function<bool(std::uint32_t block, unsigned char* into)>;

// Where a run of a file's bytes lies: a block of the image and how many
// bytes from there.
struct ImageExtent {
  std::uint32_t block = 0;
  std::uint32_t bytes = 0;
};

// A file or folder, for reading: its size and where its bytes are, in
// extents or, for a small file, held in its entry.
struct ImageNode {
  bool folder = false;
  std::uint64_t size = 0;
  std::vector<ImageExtent> extents;
  bool in_entry = false;
  std::string entry_data;  // when in_entry: at most a block
  std::uint32_t key = 0;   // its first block: folders alike are one folder
};

// A file entry's address: a block in a partition of the logical volume.
struct UdfAddress {
  std::uint32_t block = 0;
  std::uint16_t partition = 0;
};

struct UdfVolume {
  std::uint32_t partition_start = 0;   // block of the image
  std::uint32_t partition_blocks = 0;  // cut to the volume
  UdfAddress root;
};

// The volume, when the image has UDF structures this reader knows;
// `volume_blocks` bounds every block it will read or hand out.
std::optional<UdfVolume> FindUdfVolume(const BlockReader& read, std::uint32_t volume_blocks);

// The file or folder whose entry is at `address`; nothing when the entry
// cannot be read or its data lies outside the partition.
std::optional<ImageNode> ReadUdfNode(const BlockReader& read, const UdfVolume& volume,
                                     UdfAddress address);

struct UdfName {
  std::string utf8;
  UdfAddress entry;
};

// The names that a folder's bytes hold, without its parent and deleted
// names; nothing when the bytes are not a well-formed list of names.
std::optional<std::vector<UdfName>> ParseUdfFolder(const std::string& bytes);

}  // namespace orvik::cdcheck
