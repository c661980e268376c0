#include "cli/files.h"

#include <cerrno>
#include <cstdio>
#include <new>
#include <system_error>

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

const char* read_source(const char* path, std::unique_ptr<unsigned char[]>& image, FileId& id) {
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
  // Where the source cannot be told from the output, nothing is written.
  const std::error_code unknown = identify(in, id);
  const bool close_failed = std::fclose(in) != 0;
  // Opening a directory for reading succeeds on some systems; only the read fails.
  if (read_failed && read_errno == EISDIR) return common::kCannotOpenSource;
  if (read_failed || close_failed) return common::kCannotReadSource;
  if (const char* failure = common::source_size_failure(got)) return failure;
  return unknown ? open_failure(unknown, common::kCannotCreateOutput) : nullptr;
}

const char* open_output(const char* name, const FileId& source, OutputFile& out) {
  if (const std::error_code error = open_output_file(name, out)) {
    return open_failure(error, common::kCannotCreateOutput);
  }
  const char* failure = nullptr;
  if (out.id == source) {
    failure = common::kSameFile;
  } else if (const std::error_code error = start_writing(out)) {
    failure = open_failure(error, common::kCannotCreateOutput);
  }
  if (failure != nullptr) {
    discard_output(name, out);  // removes only a file that the open made
    return failure;
  }
  // Unbuffered: each of the expansion's four writes goes straight out.
  static_cast<void>(std::setvbuf(out.stream, nullptr, _IONBF, 0));
  return nullptr;
}

bool close_output(const char* name, OutputFile& out) {
  // The error flag may be all that is left of a failed write: the flush
  // and the close that follow find nothing to fail on.
  const bool flushed = std::fflush(out.stream) == 0 && std::ferror(out.stream) == 0;
  const bool closed = std::fclose(out.stream) == 0;
  out.stream = nullptr;
  if (flushed && closed && !finish_output(out)) return true;
  discard_output(name, out);
  return false;
}

}  // namespace cli
