// Systems other than Windows: no console window is made for the tool
// alone, the terminal takes the bytes of a name as they are, and the C++
// library sees files and links for what they are.
#include <cstdio>
#include <filesystem>
#include <new>

#include "cli/system.h"

namespace cli {

namespace fs = std::filesystem;

void hold_window_after_failure() {}
void hold_window_after_usage() {}

void write_output(const char* text, std::size_t size) { std::fwrite(text, 1, size, stdout); }

std::error_code same_file(const char* source, const char* output, bool& same) {
  same = false;
  std::error_code error;
  try {
    const fs::path output_path(output);
    // With nothing under the output name there is nothing to overwrite.
    if (fs::status(output_path, error).type() == fs::file_type::not_found) return {};
    // equivalent() follows symbolic links on both sides and sees hard links.
    if (!error) same = fs::equivalent(fs::path(source), output_path, error);
  } catch (const std::bad_alloc&) {
    return std::make_error_code(std::errc::not_enough_memory);
  }
  return error;
}

void discard_partial_output(const char* name) {
  try {
    const fs::path path(name);
    std::error_code error;
    // symlink_status looks at the name itself, not at what a link points to.
    if (fs::symlink_status(path, error).type() != fs::file_type::regular) return;
    // Where the folder forbids removal, a writable file can still be emptied.
    if (!fs::remove(path, error)) fs::resize_file(path, 0, error);
  } catch (const std::bad_alloc&) {
    // Without memory for the path the file stays; the failure is reported
    // all the same.
  }
}

}  // namespace cli
