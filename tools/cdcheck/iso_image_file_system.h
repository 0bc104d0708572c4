// An ISO 9660 image read as the CD it is pressed onto: its files in drive
// `drive` of a read-only file system, names found as Windows finds them on
// a CD (Joliet names when the image has them, else its UDF names if any,
// compared ignoring case, a version suffix ";1" ignored). Built on the
// native build only, through libcdio's iso9660 library.
#pragma once

#include <memory>
#include <string>

#include "engine/file_system.h"

namespace orvik::cdcheck {

// Null, with `error` told, when the file cannot be read as an ISO 9660
// image.
std::unique_ptr<FileSystem> OpenIsoImage(const std::string& image_path, char drive,
                                         std::string& error);

}  // namespace orvik::cdcheck
