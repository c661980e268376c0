// Preloaded into nesexpand by cli_test.sh: an allocation fails, as it would
// when memory runs out, when its size is at least NO_MEMORY_FROM and below
// NO_MEMORY_TO bytes; by default every allocation as large as a whole
// source image fails. The range picks which of the run's allocations fails.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "image/ines.h"

extern "C" void* __libc_malloc(std::size_t size);

namespace {

std::size_t size_from(const char* variable, std::size_t otherwise) {
  const char* value = std::getenv(variable);
  return value == nullptr ? otherwise : std::strtoull(value, nullptr, 10);
}

}  // namespace

extern "C" void* malloc(std::size_t size) {
  const bool fails = size >= size_from("NO_MEMORY_FROM", ines::kSourceImageSize) &&
                     size < size_from("NO_MEMORY_TO", SIZE_MAX);
  return fails ? nullptr : __libc_malloc(size);
}
