#include "cli/files.h"

#include <cerrno>
#include <filesystem>
#include <new>

#include "cli/messages.h"
#include "image/ines.h"

namespace cli {

const char* read_source(const char* path, std::unique_ptr<unsigned char[]>& image) {
  std::FILE* in = std::fopen(path, "rb");
  if (in == nullptr) return kCannotOpenSource;
  image.reset(new (std::nothrow) unsigned char[ines::kSourceImageSize]);
  if (!image) {
    std::fclose(in);
    return kOutOfMemory;
  }
  const std::size_t got = std::fread(image.get(), 1, ines::kSourceImageSize, in);
  const bool read_failed = std::ferror(in) != 0;
  const int read_errno = errno;
  const bool close_failed = std::fclose(in) != 0;
  // Opening a directory for reading succeeds on some systems; only the read fails.
  if (read_failed && read_errno == EISDIR) return kCannotOpenSource;
  if (read_failed || close_failed) return kCannotReadSource;
  if (got != ines::kSourceImageSize) return kSourceTooShort;
  return nullptr;
}

bool close_output(std::FILE* out) {
  const bool flushed = std::fflush(out) == 0 && std::ferror(out) == 0;
  const bool closed = std::fclose(out) == 0;
  return flushed && closed;
}

void remove_partial_output(const char* name) {
  namespace fs = std::filesystem;
  try {
    const fs::path path(name);
    std::error_code error;
    // symlink_status looks at the name itself, not at what a link points to.
    if (fs::symlink_status(path, error).type() == fs::file_type::regular) fs::remove(path, error);
  } catch (const std::bad_alloc&) {
    // Without memory for the path the file stays; the failure is reported all the same.
  }
}

}  // namespace cli
