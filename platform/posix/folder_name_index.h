// Case-insensitive name lookup in host folders, as Windows names files.
// Scanning a folder for every name that does not exist as spelled costs a
// pass over all its entries, so copying n new files into one folder costs
// n^2. On Linux each folder's listing is read once and then kept current by
// inotify, which reports every change made by anyone before the change
// returns; elsewhere, or when no watch can be had, the folder is scanned.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orvik {

class FolderNameIndex {
 public:
  FolderNameIndex() = default;
  ~FolderNameIndex();
  FolderNameIndex(const FolderNameIndex&) = delete;
  FolderNameIndex& operator=(const FolderNameIndex&) = delete;

  // The entry of host folder `folder` whose name equals `name` ignoring
  // the case of ASCII letters, `name` itself when it exists as spelled;
  // nothing when there is none.
  std::optional<std::string> Find(const std::string& folder,
                                  const std::string& name);

 private:
  struct Listing {
    // Names folded to lower case, each with the entries spelled that way.
    std::unordered_map<std::string, std::set<std::string>> names;
    std::pair<dev_t, ino_t> folder;
  };

  bool Watching();
  Listing* CurrentListing(const std::string& folder);
  Listing* Load(const std::string& folder, std::pair<dev_t, ino_t> identity);
  void ApplyPendingChanges();
  void Forget(int watch);
  void ForgetAll();

  int inotify_ = -1;
  bool unavailable_ = false;
  std::map<int, Listing> listings_;                   // by watch descriptor
  std::map<std::pair<dev_t, ino_t>, int> watches_;    // by folder identity
  std::vector<char> events_;
};

}  // namespace orvik
