#include "platform/posix/folder_name_index.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#if defined(__linux__)
#include <sys/inotify.h>
#endif

namespace orvik {

namespace {

std::string FoldCase(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(), [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return name;
}

// Owns an open directory stream.
class FolderStream {
 public:
  explicit FolderStream(const std::string& folder)
      : dir_(::opendir(folder.c_str())) {}
  ~FolderStream() {
    if (dir_ != nullptr) ::closedir(dir_);
  }
  FolderStream(const FolderStream&) = delete;
  FolderStream& operator=(const FolderStream&) = delete;

  bool is_open() const { return dir_ != nullptr; }
  // The next entry's name, "." and ".." left out; nothing at the end.
  std::optional<std::string> Next() {
    while (dirent* entry = ::readdir(dir_)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") return name;
    }
    return std::nullopt;
  }

 private:
  DIR* dir_;
};

std::optional<std::string> ScanFolder(const std::string& folder,
                                      const std::string& name) {
  FolderStream stream(folder);
  if (!stream.is_open()) return std::nullopt;
  while (auto entry = stream.Next())
    if (::strcasecmp(entry->c_str(), name.c_str()) == 0) return entry;
  return std::nullopt;
}

#if defined(__linux__)
constexpr std::uint32_t kFolderChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                         IN_MOVED_TO | IN_DELETE_SELF |
                                         IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t kFolderGone =
    IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;
constexpr std::size_t kEventBufferSize = 64 * 1024;
constexpr std::size_t kLargestEvent = sizeof(inotify_event) + NAME_MAX + 1;
#endif

}  // namespace

FolderNameIndex::~FolderNameIndex() {
  if (inotify_ >= 0) ::close(inotify_);
}

std::optional<std::string> FolderNameIndex::Find(const std::string& folder,
                                                 const std::string& name) {
  if (Listing* listing = CurrentListing(folder)) {
    const auto spelled = listing->names.find(FoldCase(name));
    if (spelled == listing->names.end()) return std::nullopt;
    const auto& names = spelled->second;
    return names.count(name) != 0 ? name : *names.begin();
  }
  struct stat info;
  if (::lstat((folder + "/" + name).c_str(), &info) == 0) return name;
  return ScanFolder(folder, name);
}

#if defined(__linux__)

bool FolderNameIndex::Watching() {
  if (inotify_ < 0 && !unavailable_) {
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    unavailable_ = inotify_ < 0;
  }
  return inotify_ >= 0;
}

// The folder is found by identity, not by path: a folder renamed, or
// removed and made anew under the same path, is another folder.
FolderNameIndex::Listing* FolderNameIndex::CurrentListing(
    const std::string& folder) {
  if (!Watching()) return nullptr;
  ApplyPendingChanges();
  struct stat info;
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    return nullptr;
  const std::pair<dev_t, ino_t> identity{info.st_dev, info.st_ino};
  const auto watch = watches_.find(identity);
  if (watch != watches_.end()) return &listings_.at(watch->second);
  return Load(folder, identity);
}

// The watch comes first, so that a change made while the listing is read
// is applied afterwards; applying it twice does no harm.
FolderNameIndex::Listing* FolderNameIndex::Load(
    const std::string& folder, std::pair<dev_t, ino_t> identity) {
  const int watch = ::inotify_add_watch(inotify_, folder.c_str(), kFolderChanges);
  if (watch < 0) return nullptr;
  FolderStream stream(folder);
  if (!stream.is_open()) {
    ::inotify_rm_watch(inotify_, watch);
    return nullptr;
  }
  Listing listing;
  listing.folder = identity;
  while (auto entry = stream.Next()) listing.names[FoldCase(*entry)].insert(*entry);
  watches_[identity] = watch;
  return &(listings_[watch] = std::move(listing));
}

void FolderNameIndex::ApplyPendingChanges() {
  events_.resize(kEventBufferSize);
  for (bool more = true; more;) {
    const ssize_t got = ::read(inotify_, events_.data(), events_.size());
    if (got <= 0) return;  // EAGAIN: nothing pending
    // A read takes every pending event that fits: with room left for the
    // largest, the queue was empty.
    more = static_cast<std::size_t>(got) + kLargestEvent > events_.size();
    for (ssize_t at = 0; at < got;) {
      inotify_event event;
      std::copy_n(events_.data() + at, sizeof event, reinterpret_cast<char*>(&event));
      const char* name_bytes = events_.data() + at + sizeof event;
      at += static_cast<ssize_t>(sizeof event + event.len);
      if (event.mask & IN_Q_OVERFLOW) {
        ForgetAll();
        continue;
      }
      const auto listing = listings_.find(event.wd);
      if (listing == listings_.end()) continue;
      if (event.mask & kFolderGone) {
        Forget(event.wd);
        continue;
      }
      // The name comes padded with NULs.
      const std::string name(name_bytes, ::strnlen(name_bytes, event.len));
      auto& names = listing->second.names;
      const std::string folded = FoldCase(name);
      if (event.mask & (IN_CREATE | IN_MOVED_TO)) names[folded].insert(name);
      if (event.mask & (IN_DELETE | IN_MOVED_FROM)) {
        const auto spelled = names.find(folded);
        if (spelled != names.end() && spelled->second.erase(name) != 0 &&
            spelled->second.empty())
          names.erase(spelled);
      }
    }
  }
}

void FolderNameIndex::Forget(int watch) {
  const auto listing = listings_.find(watch);
  if (listing == listings_.end()) return;
  ::inotify_rm_watch(inotify_, watch);  // fails harmlessly for a gone folder
  watches_.erase(listing->second.folder);
  listings_.erase(listing);
}

void FolderNameIndex::ForgetAll() {
  while (!listings_.empty()) Forget(listings_.begin()->first);
}

#else  // no inotify: every lookup scans

bool FolderNameIndex::Watching() { return false; }
FolderNameIndex::Listing* FolderNameIndex::CurrentListing(const std::string&) {
  return nullptr;
}
FolderNameIndex::Listing* FolderNameIndex::Load(const std::string&,
                                                std::pair<dev_t, ino_t>) {
  return nullptr;
}
void FolderNameIndex::ApplyPendingChanges() {}
void FolderNameIndex::Forget(int) {}
void FolderNameIndex::ForgetAll() {}

#endif

}  // namespace orvik
