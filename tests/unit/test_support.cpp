#include "tests/unit/test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "engine/copy_engine.h"
#include "engine/debug_log.h"
#include "engine/install_message.h"

namespace fs = std::filesystem;

namespace orvik::testing {

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "orvik-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("cannot create a temporary folder");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

void TempFolder::WriteFile(const std::string& relative,
                           const std::string& bytes) const {
  const fs::path file = fs::path(path_) / relative;
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempFolder::ReadFile(const std::string& relative) const {
  std::ifstream in(fs::path(path_) / relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool TempFolder::Exists(const std::string& relative) const {
  return fs::exists(fs::path(path_) / relative);
}

void TempFolder::MakeFolder(const std::string& relative) const {
  fs::create_directories(fs::path(path_) / relative);
}

CapturedLog::CapturedLog() : file_(std::tmpfile()), session_(file_) {}

std::string CapturedLog::Text() const {
  std::fflush(file_);
  std::string text;
  std::rewind(file_);
  for (int c; (c = std::fgetc(file_)) != EOF;) text += static_cast<char>(c);
  std::fseek(file_, 0, SEEK_END);
  return text;
}

void ResetGlobalState() {
  g_nProductVersion = 8;
  g_pDebugLog = nullptr;
  std::snprintf(g_szCopyListName, sizeof g_szCopyListName, "eopylist.dat");
}

}  // namespace orvik::testing
