#include "cli/files.h"

#include <cerrno>
#include <new>
#include <system_error>

#include "cli/system.h"
#include "common/messages.h"
#include "image/ines.h"

namespace cli {
namespace {

// fopen allocates its stream, so running out of memory can show first there.
const char* open_failure(std::error_code error, const char* otherwise) {
  return error == std::errc::not_enough_memory ? common::kOutOfMemory : otherwise;
}

std::error_code last_error() { return std::error_code(errno, std::generic_category()); }

}  // namespace

const char* read_source(const char* path, std::unique_ptr<unsigned char[]>& image) {
  std::FILE* in = std::fopen(path, "rb");
  if (in == nullptr) return open_failure(last_error(), common::kCannotOpenSource);
  // Unbuffered: one read straight into the image, and nothing read past it.
  // Should setvbuf fail, the stream merely stays buffered.
  static_cast<void>(std::setvbuf(in, nullptr, _IONBF, 0));
  image.reset(new (std::nothrow) unsigned char[ines::kSourceImageSize]);
  if (!image) {
    std::fclose(in);
    return common::kOutOfMemory;
  }
  const std::size_t got = std::fread(image.get(), 1, ines::kSourceImageSize, in);
  const bool read_failed = std::ferror(in) != 0;
  const int read_errno = errno;
  const bool close_failed = std::fclose(in) != 0;
  // Opening a directory for reading succeeds on some systems; only the read fails.
  if (read_failed && read_errno == EISDIR) return common::kCannotOpenSource;
  if (read_failed || close_failed) return common::kCannotReadSource;
  return common::source_size_failure(got);
}

const char* open_output(const char* source, const char* name, std::FILE*& out) {
  bool same = false;
  // Where sameness cannot be told, the output is left untouched.
  if (const std::error_code error = same_file(source, name, same)) {
    return open_failure(error, common::kCannotCreateOutput);
  }
  if (same) return common::kSameFile;
  out = std::fopen(name, "wb");
  if (out == nullptr) return open_failure(last_error(), common::kCannotCreateOutput);
  // Unbuffered: each of the expansion's four writes goes straight out.
  static_cast<void>(std::setvbuf(out, nullptr, _IONBF, 0));
  return nullptr;
}

bool close_output(std::FILE* out) {
  const bool flushed = std::fflush(out) == 0 && std::ferror(out) == 0;
  const bool closed = std::fclose(out) == 0;
  return flushed && closed;
}

}  // namespace cli
