#include "common/output_name.h"

#include <cstring>
#include <new>

namespace common {
namespace {

constexpr char kSourceEnding[] = ".nes";
constexpr char kOutputEnding[] = "_expanded.nes";
constexpr std::size_t kSourceEndingLength = sizeof(kSourceEnding) - 1;

}  // namespace

std::unique_ptr<char[]> make_output_name(const char* source_name) {
  std::size_t stem = std::strlen(source_name);
  if (stem >= kSourceEndingLength && std::memcmp(source_name + stem - kSourceEndingLength,
                                                 kSourceEnding, kSourceEndingLength) == 0) {
    stem -= kSourceEndingLength;
  }
  // sizeof counts the ending's terminator too.
  std::unique_ptr<char[]> name(new (std::nothrow) char[stem + sizeof(kOutputEnding)]);
  if (name) {
    std::memcpy(name.get(), source_name, stem);
    std::memcpy(name.get() + stem, kOutputEnding, sizeof(kOutputEnding));
  }
  return name;
}

}  // namespace common
