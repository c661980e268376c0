// Emscripten's C++ runtime, built without exceptions, aborts the whole
// module in operator new when memory runs out, and its nothrow forms call
// that. The name rule counts on new (std::nothrow) giving nullptr instead,
// as the standard says, so the page brings its own nothrow forms. They
// allocate with malloc, as the runtime's operator new does, so that the
// runtime's delete frees their blocks as usual.
#include <cstdlib>
#include <new>

namespace {

// A request for no bytes still gets a block of its own.
void* allocate(std::size_t size) { return std::malloc(size == 0 ? 1 : size); }

}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
