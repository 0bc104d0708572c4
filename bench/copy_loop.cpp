// The yardstick for the copy engine: the plainest copy there is, a loop of
// 32 KiB read and write calls per file. Copies each file named in LIST
// (paths relative to SOURCE, one a line) into DEST under its last
// component, as the engine does.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kChunk = 32768;

bool CopyOne(const std::string& from, const std::string& to,
             std::vector<char>& buffer) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  for (;;) {
    const ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    if (::write(out, buffer.data(), static_cast<std::size_t>(got)) != got) {
      ok = false;
      break;
    }
  }
  ::close(in);
  return ::close(out) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s LIST SOURCE DEST\n", argv[0]);
    return 2;
  }
  std::ifstream list(argv[1]);
  std::vector<char> buffer(kChunk);
  for (std::string relative; std::getline(list, relative);) {
    if (relative.empty()) continue;
    const std::string name = relative.substr(relative.rfind('/') + 1);
    if (!CopyOne(std::string(argv[2]) + "/" + relative,
                 std::string(argv[3]) + "/" + name, buffer)) {
      std::fprintf(stderr, "cannot copy %s\n", relative.c_str());
      return 1;
    }
  }
  return 0;
}
