#include "engine/copy_engine.h"

#include "engine/result_codes.h"

namespace orvik {

char g_szCopyListName[13] = "eopylist.dat";

int CopyInstallFiles(FileSystem&, char, char, char, const std::string&,
                     std::string& message) {
  message.clear();
  return kInstallCopyListFailed;
}

}  // namespace orvik
