// Run once while the page is built:
//   fill_page TEMPLATE OUTPUT
// copies the page's HTML from TEMPLATE to OUTPUT with each [[name]] in it
// replaced by that number of the layout, so that the page shows the
// layout's own numbers from its first paint and none is typed twice. A name
// it does not know fails the build.
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "image/ines.h"
#include "web/cpu_map.h"

namespace {

constexpr char kOpen[] = "[[";
constexpr char kClose[] = "]]";
constexpr std::size_t kOpenSize = sizeof kOpen - 1;
constexpr std::size_t kCloseSize = sizeof kClose - 1;

constexpr std::size_t kReadChunk = 4096;
constexpr int kGroupDigits = 3;
constexpr int kAddressDigits = 4;

// 24592 as "24,592", as the page writes byte counts.
std::string bytes(std::uint32_t count) {
  std::string digits = std::to_string(count);
  for (int at = static_cast<int>(digits.size()) - kGroupDigits; at > 0; at -= kGroupDigits) {
    digits.insert(static_cast<std::size_t>(at), ",");
  }
  return digits;
}

// 0x9582 as "$9582".
std::string address(std::uint32_t value) {
  char text[kAddressDigits + 2];
  std::snprintf(text, sizeof text, "$%0*X", kAddressDigits, static_cast<unsigned>(value));
  return text;
}

using Values = std::map<std::string, std::string>;

// NAME.first and NAME.last as addresses, NAME.size as a byte count and
// NAME.bytes as a plain number, for the picture's proportions.
void add(Values& values, const std::string& name, const cpu_map::Region& region) {
  values[name + ".first"] = address(region.first);
  values[name + ".last"] = address(region.last);
  values[name + ".size"] = bytes(region.size);
  values[name + ".bytes"] = std::to_string(region.size);
}

Values layout_values() {
  Values values;
  values["source_size"] = bytes(ines::kSourceImageSize);
  values["expanded_size"] = bytes(ines::kExpandedImageSize);
  values["free_size"] = bytes(cpu_map::kFillBlock.size + cpu_map::kOldPlace.size);
  add(values, "lower_bank", cpu_map::kLowerBank);
  add(values, "upper_bank", cpu_map::kUpperBank);
  add(values, "kept_program", cpu_map::kKeptProgram);
  add(values, "old_place", cpu_map::kOldPlace);
  add(values, "vectors", cpu_map::kVectors);
  add(values, "mirrored_program", cpu_map::kMirroredProgram);
  add(values, "mirrored_block", cpu_map::kMirroredBlock);
  add(values, "mirrored_vectors", cpu_map::kMirroredVectors);
  add(values, "new_place", cpu_map::kNewPlace);
  add(values, "fill_block", cpu_map::kFillBlock);
  return values;
}

bool read_file(const char* path, std::string& text) {
  std::FILE* in = std::fopen(path, "rb");
  if (in == nullptr) return false;
  char buffer[kReadChunk];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, got);
  const bool read = !std::ferror(in);
  return std::fclose(in) == 0 && read;
}

bool write_file(const char* path, const std::string& text) {
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  return std::fclose(out) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fill_page TEMPLATE OUTPUT\n");
    return 1;
  }
  std::string page;
  if (!read_file(argv[1], page)) {
    std::fprintf(stderr, "fill_page: cannot read %s\n", argv[1]);
    return 1;
  }
  const Values values = layout_values();
  std::string filled;
  std::size_t at = 0;
  for (std::size_t open; (open = page.find(kOpen, at)) != std::string::npos;) {
    const std::size_t close = page.find(kClose, open + kOpenSize);
    if (close == std::string::npos) {
      std::fprintf(stderr, "fill_page: %s has an unclosed %s\n", argv[1], kOpen);
      return 1;
    }
    const std::string name = page.substr(open + kOpenSize, close - open - kOpenSize);
    const auto value = values.find(name);
    if (value == values.end()) {
      std::fprintf(stderr, "fill_page: %s has no number named %s\n", argv[1], name.c_str());
      return 1;
    }
    filled.append(page, at, open - at).append(value->second);
    at = close + kCloseSize;
  }
  filled.append(page, at, std::string::npos);
  if (!write_file(argv[2], filled)) {
    std::fprintf(stderr, "fill_page: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
