#include "cli/files.h"

#include <cerrno>
#include <exception>
#include <filesystem>
#include <new>
#include <system_error>

#include "cli/system.h"
#include "common/messages.h"
#include "image/ines.h"

namespace cli {

namespace fs = std::filesystem;

namespace {

// fopen allocates its stream, so running out of memory can show first there.
const char* open_failure(std::error_code error, const char* otherwise) {
  return error == std::errc::not_enough_memory ? common::kOutOfMemory : otherwise;
}

std::error_code last_error() { return std::error_code(errno, std::generic_category()); }

// The path of the very file that fopen(name) opens. On POSIX the name's
// bytes pass through as they are, whatever their encoding. On Windows the
// manifest makes every narrow name UTF-8, and u8path turns it into the
// system's UTF-16, where fs::path(name) would read each byte of it as a
// character of its own under MinGW. Throws std::bad_alloc, or
// fs::filesystem_error for a name that is not valid UTF-8 there.
fs::path file_path(const char* name) { return fs::u8path(name); }

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
  try {
    const fs::path output = file_path(name);
    std::error_code error;
    // With nothing under the output name there is nothing to overwrite.
    if (fs::status(output, error).type() != fs::file_type::not_found) {
      // equivalent() follows symbolic links on both sides and sees hard links.
      if (!error && fs::equivalent(file_path(source), output, error)) return common::kSameFile;
      // Where sameness cannot be told, the output is left untouched.
      if (error) return open_failure(error, common::kCannotCreateOutput);
    }
  } catch (const std::bad_alloc&) {
    return common::kOutOfMemory;
  } catch (const fs::filesystem_error&) {
    return common::kCannotCreateOutput;  // a name that cannot be checked
  }
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

void discard_partial_output(const char* name) {
  try {
    const fs::path path = file_path(name);
    if (!names_regular_file(path)) return;
    std::error_code error;
    // Where the folder forbids removal, a writable file can still be emptied.
    if (!fs::remove(path, error)) fs::resize_file(path, 0, error);
  } catch (const std::exception&) {
    // Without memory for the path, or without a path for the name, the file
    // stays; the failure is reported all the same.
  }
}

}  // namespace cli
