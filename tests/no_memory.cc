// Linked into a copy of nesexpand for cli_test.sh: the tool's own
// allocation of NO_MEMORY_SIZE bytes fails, as it would when memory runs
// out. The tool allocates with new (std::nothrow) T[], which nothing else
// in its run calls (the C library and the C++ library's own allocations
// use malloc and the throwing new), so replacing that one operator picks
// the tool's allocations, and their sizes tell them apart.
#include <cstddef>
#include <cstdlib>
#include <new>

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  const char* fails = std::getenv("NO_MEMORY_SIZE");
  if (fails != nullptr && std::strtoull(fails, nullptr, 10) == size) return nullptr;
  // The default operator's own allocator, which delete[] frees into.
  return std::malloc(size);
}
