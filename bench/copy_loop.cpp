// The yardsticks for the copy engine. Copies each file named in LIST
// (paths relative to SOURCE, one a line) into DEST under its last
// component, as the engine does, in one of two ways:
//   plain            the plainest copy there is: a loop of 32 KiB read and
//                    write calls into the destination name itself
//   --same-guarantee what the engine promises: the loop writes a temporary
//                    file created exclusively in DEST, fsyncs it and
//                    renames it over the destination name, so that a name
//                    never holds a partial file
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kChunk = 32768;
constexpr int kTemporaryNameTries = 100;

// Closes the descriptor whichever way the copy of one file ends.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  bool valid() const { return fd_ >= 0; }
  int get() const { return fd_; }
  bool Close() {
    if (fd_ < 0) return true;
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

bool CopyContent(int in, int out, std::vector<char>& buffer) {
  for (;;) {
    const ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(got)))
      return false;
  }
}

bool CopyPlain(const std::string& from, const std::string& to,
               const std::string& /*dest_folder*/, std::vector<char>& buffer) {
  Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.valid()) return false;
  Descriptor out(
      ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!out.valid()) return false;
  const bool copied = CopyContent(in.get(), out.get(), buffer);
  return out.Close() && copied;
}

// The first free temporary name in the folder, created exclusively; the
// descriptor is invalid when none can be had.
int CreateTemporary(const std::string& folder, std::string& path) {
  for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
    path = folder + "/~peer" + std::to_string(attempt) + ".tmp";
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          0644);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool CopyThroughTemporary(const std::string& from, const std::string& to,
                          const std::string& dest_folder,
                          std::vector<char>& buffer) {
  Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.valid()) return false;
  std::string temporary;
  Descriptor out(CreateTemporary(dest_folder, temporary));
  if (!out.valid()) return false;
  const bool done = CopyContent(in.get(), out.get(), buffer) &&
                    ::fsync(out.get()) == 0 && out.Close() &&
                    ::rename(temporary.c_str(), to.c_str()) == 0;
  if (!done) ::unlink(temporary.c_str());
  return done;
}

using CopyFunction = bool (*)(const std::string&, const std::string&,
                              const std::string&, std::vector<char>&);

}  // namespace

int main(int argc, char** argv) {
  CopyFunction copy = CopyPlain;
  if (argc == 5 && std::strcmp(argv[1], "--same-guarantee") == 0) {
    copy = CopyThroughTemporary;
    ++argv;
    --argc;
  }
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s [--same-guarantee] LIST SOURCE DEST\n",
                 argv[0]);
    return 2;
  }
  std::ifstream list(argv[1]);
  if (!list) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 2;
  }
  const std::string source = argv[2];
  const std::string dest = argv[3];
  std::vector<char> buffer(kChunk);
  for (std::string relative; std::getline(list, relative);) {
    if (relative.empty()) continue;
    const std::string name = relative.substr(relative.rfind('/') + 1);
    if (!copy(source + "/" + relative, dest + "/" + name, dest, buffer)) {
      std::fprintf(stderr, "cannot copy %s: %s\n", relative.c_str(),
                   std::strerror(errno));
      return 1;
    }
  }
  return 0;
}
