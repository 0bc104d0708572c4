// The copy engine over any copy list and any settings files a CD can hold,
// installing from a copy of the sample CD through the POSIX drives in a
// temporary folder that the process makes once. After every input:
//   - the result is one of the engine's codes, and the text the one that
//     goes with it: message-file lines or the write-failure text;
//   - nothing outside the destination folder was created, removed or
//     changed (names, types, sizes, times, inodes of every drive), and no
//     file of the CD changed, also when the destination is the CD's own
//     program folder;
//   - every file in the destination is a complete copy of a file of the
//     same name, with the settings-file patches and nothing else;
//   - a copy list that is not well formed fails with -2; a success means
//     every listed file was copied and the stale data files are gone.
//
// Input: two control bytes, then the copy list, startup.mar and
// factory.mar, separated by "\n%%%%\n" (a missing part keeps the sample's).
//   0  language (e, d, f, i, none, x: one without a message file) by the
//      byte modulo 6; an odd quotient makes the destination the CD's own
//      \prog folder when the files come from the CD
//   1  bits 0-1 where the list lies (the language's name, eopylist.dat,
//      copylist.dat, nowhere); bits 2-3 the destination text; bits 4-5 the
//      source drive (D, d, none); bit 6 the current drive (C, D); bit 7 an
//      earlier installation in the destination
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "engine/copy_engine.h"
#include "engine/debug_log.h"
#include "engine/install_message.h"
#include "engine/result_codes.h"
#include "platform/posix/posix_file_system.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/reference_models.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;

const char kSeparator[] = "\n%%%%\n";
const char kUserSettings[] = "the user's own settings\r\n";

std::string ReadHost(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteHost(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Every file under `root`, by its name in lower case.
std::multimap<std::string, std::string> FilesByName(const fs::path& root) {
  std::multimap<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file())
      files.emplace(fuzz::AsciiLowerModel(entry.path().filename().string()),
                    ReadHost(entry.path()));
  return files;
}

// Every file under `root` by its path, with its bytes.
std::map<fs::path, std::string> FilesByPath(const fs::path& root) {
  std::map<fs::path, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) files.emplace(entry.path(), ReadHost(entry.path()));
  return files;
}

// The drives: C holds the destination's parent and files of the user's, D
// the CD, E another disk. Made once per process, removed at its exit.
struct World {
  fs::path root;
  fs::path c, d, e;
  std::string sample_startup, sample_factory;
  // By name in lower case, the files that no input changes: all but the
  // copy list and the two settings files.
  std::multimap<std::string, std::string> fixed_files;
};

World* g_world = nullptr;

void RemoveWorld() {
  if (g_world == nullptr) return;
  std::error_code ignored;
  fs::remove_all(g_world->root, ignored);
}

World& TheWorld() {
  if (g_world != nullptr) return *g_world;
  auto* world = new World;
  std::string pattern = (fs::temp_directory_path() / "orvik-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  world->root = pattern;
  world->c = world->root / "c";
  world->d = world->root / "d";
  world->e = world->root / "e";
  fs::copy(ORVIK_SAMPLE_CD, world->d, fs::copy_options::recursive);
  for (const auto& entry : fs::directory_iterator(world->d / "install"))
    if (entry.path().filename().string().find("opylist") != std::string::npos)
      fs::remove(entry.path());
  world->sample_startup = ReadHost(world->d / "prog" / "startup.mar");
  world->sample_factory = ReadHost(world->d / "prog" / "factory.mar");
  // Names a list may reach: a folder where a file is expected, a file of
  // the same name in two folders, names in other cases, files on C and E.
  fs::create_directories(world->d / "data" / "folder.dat");
  WriteHost(world->d / "data" / "folder.dat" / "inner.dat", "inner");
  WriteHost(world->d / "lang" / "en" / "orvik.dll", "another orvik.dll");
  WriteHost(world->d / "data" / "UPPER.DAT", "upper case name");
  WriteHost(world->d / "data" / "astdata.ast", "data file on the CD");
  WriteHost(world->c / "keep.txt", "the user's file on C");
  WriteHost(world->c / "other" / "startup.mar", "51 language q\n");
  WriteHost(world->e / "orvik8.exe", "a program on E");
  fs::remove(world->d / "prog" / "startup.mar");
  fs::remove(world->d / "prog" / "factory.mar");
  world->fixed_files = FilesByName(world->root);
  g_world = world;
  std::atexit(RemoveWorld);
  return *world;
}

// The state of every entry under `root` but `skip`: directories by name
// (their times change with their entries), files also by size, times and
// inode, which any write or replacement changes.
using Snapshot = std::map<std::string, std::tuple<int, long long, long long,
                                                  long long, long long>>;

Snapshot TakeSnapshot(const fs::path& root, const fs::path& skip) {
  Snapshot snapshot;
  for (auto it = fs::recursive_directory_iterator(root);
       it != fs::recursive_directory_iterator(); ++it) {
    if (it->path() == skip) {
      it.disable_recursion_pending();
      continue;
    }
    struct stat info;
    if (::lstat(it->path().c_str(), &info) != 0) std::abort();
    const std::string key = it->path().string().substr(root.string().size());
    if (S_ISDIR(info.st_mode)) {
      snapshot[key] = {1, 0, 0, 0, 0};
    } else {
      snapshot[key] = {2, info.st_size,
                       info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec,
                       info.st_ctim.tv_sec * 1000000000LL + info.st_ctim.tv_nsec,
                       static_cast<long long>(info.st_ino)};
    }
  }
  return snapshot;
}

// The entry of `folder` named `name` ignoring case, as Windows finds it.
std::optional<fs::path> FindIgnoringCase(const fs::path& folder,
                                         const std::string& name) {
  std::error_code error;
  if (name.empty() || !fs::is_directory(folder, error)) return std::nullopt;
  const std::string wanted = fuzz::AsciiLowerModel(name);
  for (const auto& entry : fs::directory_iterator(folder))
    if (fuzz::AsciiLowerModel(entry.path().filename().string()) == wanted)
      return entry.path();
  return std::nullopt;
}

std::string SupportLines() {
  return std::string("Contact Ostmarrow at ") + kSupportTelephone + ",\n" +
         "or at " + kSupportEmail + ",  including this message.\n";
}

// The lines the message file reader gives from the file it would find:
// the language's file in the current folder, then on the source drive,
// then the legacy file there.
std::string ExpectedLines(const World& world, const fs::path& current_folder,
                          char source, char language, unsigned skip,
                          unsigned count) {
  std::optional<fs::path> file;
  if (language != 0)
    file = FindIgnoringCase(current_folder, std::string(1, language) + "install.dat");
  if (!file && source != 0 && (source == 'D' || source == 'd')) {
    if (language != 0)
      file = FindIgnoringCase(world.d / "install", std::string(1, language) + "install.dat");
    if (!file) file = FindIgnoringCase(world.d / "install", "install.dat");
  }
  if (!file || !fs::is_regular_file(*file)) return "";
  return fuzz::MessageText(ReadHost(*file), skip, count);
}

struct Input {
  char language;
  int list_place;
  std::string dest_text;
  char source;
  char current;
  bool earlier_installation;
  bool into_the_cd;  // the destination is the CD's \prog, a source folder
  std::string list, startup, factory;
  bool has_settings;
};

Input Decode(const std::uint8_t* data, std::size_t size) {
  Input input;
  input.language = "edfi\0x"[data[0] % 6];
  input.list_place = data[1] & 3;
  static const char* const kDestTexts[] = {"C:\\orvik8", "c:\\orvik8\\",
                                           "orvik8", "C:\\Orvik8"};
  input.dest_text = kDestTexts[(data[1] >> 2) & 3];
  input.source = "Dd\0D"[(data[1] >> 4) & 3];
  input.current = (data[1] & 0x40) ? 'D' : 'C';
  input.earlier_installation = (data[1] & 0x80) != 0;
  input.into_the_cd =
      (data[0] / 6) % 2 == 1 && (input.source != 0 || input.current == 'D');
  if (input.into_the_cd) {
    input.dest_text = "D:\\prog";
    input.earlier_installation = false;
  }
  std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::string separator = kSeparator;
  std::vector<std::string> parts;
  for (std::size_t at = 0;;) {
    const std::size_t next = rest.find(separator, at);
    if (next == std::string::npos || parts.size() == 2) {
      parts.push_back(rest.substr(at));
      break;
    }
    parts.push_back(rest.substr(at, next - at));
    at = next + separator.size();
  }
  input.list = parts[0];
  input.startup = parts.size() > 1 ? parts[1] : "";
  input.factory = parts.size() > 2 ? parts[2] : "";
  input.has_settings = parts.size() > 1;
  return input;
}

void MapDrives(PosixFileSystem& files, const World& world, char current) {
  files.MapDrive('C', world.c.string());
  files.MapDrive('D', world.d.string());
  files.MapDrive('E', world.e.string());
  files.SetCurrentDrive(current);
}

void CheckDestination(const Input& input,
                      const fs::path& dest, char cd_drive_letter,
                      const std::multimap<std::string, std::string>& sources,
                      const std::map<fs::path, std::string>& cd_files) {
  std::error_code error;
  if (!fs::exists(dest, error)) return;
  for (const auto& entry : fs::directory_iterator(dest)) {
    FUZZ_CHECK(entry.is_regular_file());  // the engine makes no folders
    const std::string name = entry.path().filename().string();
    const std::string content = ReadHost(entry.path());
    const fuzz::SettingsKind kind = fuzz::SettingsKindOf(name);
    // A file of the CD's own folder, left as it was.
    const auto kept = cd_files.find(entry.path());
    bool matches = kept != cd_files.end() && kept->second == content;
    const auto [from, to] = sources.equal_range(fuzz::AsciiLowerModel(name));
    for (auto it = from; it != to && !matches; ++it)
      matches = content == fuzz::CopiedContent(it->second, kind, input.language,
                                               cd_drive_letter);
    if (input.earlier_installation && (fuzz::AsciiLowerModel(name) == "factory.mar"))
      matches = matches || content == kUserSettings;
    if (input.earlier_installation && fuzz::AsciiLowerModel(name).rfind("astdata.", 0) == 0)
      matches = matches || content == "stale";
    if (!matches)
      std::fprintf(stderr, "%s is no copy of a file of that name\n", name.c_str());
    FUZZ_CHECK(matches);
  }
}

}  // namespace
}  // namespace orvik

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvik;
  if (size < 2) return 0;
  World& world = TheWorld();
  const Input input = Decode(data, size);

  g_nProductVersion = 8;
  g_pDebugLog = nullptr;
  std::snprintf(g_szCopyListName, sizeof g_szCopyListName, "eopylist.dat");

  // The CD of this input.
  const fs::path install = world.d / "install";
  // Every list name an input can write, so no list outlives its input.
  for (const char* name : {"eopylist.dat", "dopylist.dat", "fopylist.dat",
                           "iopylist.dat", "xopylist.dat", "copylist.dat"})
    fs::remove(install / name);
  const std::string own_list =
      std::string(1, input.language != 0 ? input.language : 'e') + "opylist.dat";
  const char* const list_names[] = {own_list.c_str(), "eopylist.dat", "copylist.dat"};
  const bool list_reachable =
      input.list_place != 3 && (input.source != 0 || input.current == 'D');
  if (input.list_place != 3) WriteHost(install / list_names[input.list_place], input.list);
  WriteHost(world.d / "prog" / "startup.mar",
            input.has_settings ? input.startup : world.sample_startup);
  WriteHost(world.d / "prog" / "factory.mar",
            input.has_settings ? input.factory : world.sample_factory);

  PosixFileSystem files;
  MapDrives(files, world, input.current);
  const fs::path dest = *files.HostPath(input.dest_text);
  // Before the earlier installation: a relative destination on drive D
  // lies inside the CD's folder, and its stale files are not the CD's.
  const auto cd_before = FilesByPath(world.d);
  if (input.earlier_installation) {
    WriteHost(dest / "factory.mar", kUserSettings);
    WriteHost(dest / "astdata.ast", "stale");
    WriteHost(dest / "astdata.lim", "stale");
  }
  const Snapshot before = TakeSnapshot(world.root, dest);
  auto sources = world.fixed_files;
  sources.emplace(fuzz::AsciiLowerModel(list_names[input.list_place % 3]), input.list);
  sources.emplace("startup.mar", ReadHost(world.d / "prog" / "startup.mar"));
  sources.emplace("factory.mar", ReadHost(world.d / "prog" / "factory.mar"));

  std::string message = "left over";
  const InstallResult result =
      CopyInstallFiles(files, 0, input.source, input.language, input.dest_text, message);

  // Nothing outside the destination, and no file of the CD.
  FUZZ_CHECK(TakeSnapshot(world.root, dest) == before);
  for (const auto& [path, bytes] : cd_before) {
    const bool same = fs::is_regular_file(path) && ReadHost(path) == bytes;
    if (!same) std::fprintf(stderr, "%s changed\n", path.c_str());
    FUZZ_CHECK(same);
  }

  // The result and its text.
  const fs::path current = *files.HostPath(files.CurrentFolder());
  auto lines = [&](unsigned skip, unsigned count) {
    return ExpectedLines(world, current, input.source, input.language, skip, count);
  };
  switch (result) {
    case InstallResult::kOk: FUZZ_CHECK(message == lines(13, 1)); break;
    case InstallResult::kCopyListFailed: FUZZ_CHECK(message == lines(6, 2)); break;
    case InstallResult::kSourceFileFailed:
    case InstallResult::kDestFileFailed: FUZZ_CHECK(message == lines(9, 3)); break;
    case InstallResult::kWriteFailed: {
      const std::string head = "INSTALL FAILURE: Couldn't copy " + input.dest_text;
      FUZZ_CHECK(message.rfind(head, 0) == 0);
      FUZZ_CHECK(message.size() > head.size() + SupportLines().size());
      FUZZ_CHECK(message.compare(message.size() - SupportLines().size(),
                                 std::string::npos, SupportLines()) == 0);
      break;
    }
    default:
      // The destination's parent exists and memory is plenty: neither
      // -1 nor -6 may come, nor anything unknown.
      std::fprintf(stderr, "result %d\n", result);
      FUZZ_CHECK(false);
  }
  if (result != InstallResult::kOk) FUZZ_CHECK(files.CurrentFolder().size() == 3);

  const char cd_letter = input.source != 0 ? input.source : input.current;
  CheckDestination(input, dest, cd_letter, sources, cd_before);

  // The copy list decides between -2 and the rest.
  const auto entries = fuzz::ParseCopyListModel(input.list);
  FUZZ_CHECK((result == InstallResult::kCopyListFailed) == (!list_reachable || !entries));
  if (result == InstallResult::kOk) {
    // Every file the list names is on the CD, also the checked ones: the
    // copy has not changed which of them exist.
    PosixFileSystem fresh;
    MapDrives(fresh, world, input.current);
    for (const auto& entry : *entries) {
      const std::string source =
          entry.name[0] == ':' ? std::string()
          : input.source != 0  ? std::string(1, input.source) + ":" + entry.name
                               : entry.name;
      if (!fresh.OpenForReading(source))
        std::fprintf(stderr, "%s is missing\n", source.c_str());
      FUZZ_CHECK(fresh.OpenForReading(source) != nullptr);
    }
    for (std::size_t i = 0; i < entries->size(); ++i) {
      if (fuzz::IsCheckOnlyModel(i)) continue;
      const std::string name = fuzz::LastComponentModel((*entries)[i].name);
      // Copied, then removed as stale data.
      const std::string lower = fuzz::AsciiLowerModel(name);
      if (lower == "astdata.ast" || lower == "astdata.lim") continue;
      if (!FindIgnoringCase(dest, name))
        std::fprintf(stderr, "entry %zu: %s not copied\n", i, name.c_str());
      FUZZ_CHECK(FindIgnoringCase(dest, name).has_value());
    }
    FUZZ_CHECK(!FindIgnoringCase(dest, "astdata.ast"));
    FUZZ_CHECK(!FindIgnoringCase(dest, "astdata.lim"));
  }

  std::error_code ignored;
  if (input.into_the_cd) {
    for (const auto& entry : fs::directory_iterator(dest))
      if (cd_before.count(entry.path()) == 0) fs::remove_all(entry.path(), ignored);
  } else {
    fs::remove_all(dest, ignored);
  }
  return 0;
}
