#include "tools/cdcheck/posix_cd.h"

#include <sys/stat.h>

#include "platform/posix/posix_file_system.h"
#include "tools/cdcheck/cd_check.h"
#if ORVIK_CDCHECK_ISO_IMAGES
#include "tools/cdcheck/iso_image_file_system.h"
#endif

namespace orvik::cdcheck {

namespace {

// No current drive: relative paths, Setup's first message-file lookup
// among them, name nothing.
std::unique_ptr<FileSystem> FolderAsCd(const std::string& folder) {
  auto files = std::make_unique<PosixFileSystem>();
  files->MapDrive(kCdDrive, folder);
  return files;
}

std::unique_ptr<FileSystem> ImageAsCd(const std::string& image, std::string& error) {
#if ORVIK_CDCHECK_ISO_IMAGES
  return OpenIsoImage(image, kCdDrive, error);
#else
  error = image + " is not a folder, and this build of orvik-cdcheck reads no "
                  "ISO images (it was built without libiso9660)";
  return nullptr;
#endif
}

}  // namespace

OpenedCd OpenCdOnPosix(const std::string& cd_path) {
  OpenedCd cd;
  cd.display_path = cd_path;
  struct stat info;
  if (::stat(cd_path.c_str(), &info) != 0)
    cd.error = cd_path + ": no such folder or ISO image";
  else if (S_ISDIR(info.st_mode))
    cd.files = FolderAsCd(cd_path);
  else if (S_ISREG(info.st_mode)) {
    cd.files = ImageAsCd(cd_path, cd.error);
    cd.image = true;
  }
  else
    cd.error = cd_path + " is neither a folder nor an ISO image";
  return cd;
}

}  // namespace orvik::cdcheck
