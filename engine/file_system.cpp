#include "engine/file_system.h"

#include <new>

namespace orvik {

std::unique_ptr<char[]> FileSystem::AllocateBuffer(std::size_t size) {
  return std::unique_ptr<char[]>(new (std::nothrow) char[size]);
}

}  // namespace orvik
