// Preloaded into nesexpand by cli_test.sh: every allocation as large as a
// whole source image fails, as it would when memory runs out.
#include <cstddef>

#include "image/ines.h"

extern "C" void* __libc_malloc(std::size_t size);

extern "C" void* malloc(std::size_t size) {
  return size >= ines::kSourceImageSize ? nullptr : __libc_malloc(size);
}
