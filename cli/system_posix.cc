// Systems other than Windows: no console window is made for the tool
// alone, the terminal takes the bytes of a name as they are, and a file is
// known by its device and inode.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/system.h"

namespace cli {
namespace {

// What fopen gives a new file, less the umask.
constexpr mode_t kNewFileMode = 0666;
// Not inherited by any program started later, and never made the
// controlling terminal.
constexpr int kOutputFlags = O_WRONLY | O_CLOEXEC | O_NOCTTY;

std::error_code last_error() { return std::error_code(errno, std::generic_category()); }

FileId id_of(const struct stat& status) {
  FileId id;
  id.volume = static_cast<std::uint64_t>(status.st_dev);
  static_assert(sizeof status.st_ino <= sizeof id.file, "an inode number fits a file id");
  std::memcpy(id.file, &status.st_ino, sizeof status.st_ino);
  return id;
}

int descriptor(const OutputFile& out) { return static_cast<int>(out.handle); }

bool empty(const OutputFile& out) { return ftruncate(descriptor(out), 0) == 0; }

}  // namespace

void hold_window_after_failure() {}
void hold_window_after_usage() {}

void print_text(const char* text, std::size_t size) { std::fwrite(text, 1, size, stdout); }

std::error_code identify(std::FILE* stream, FileId& id) {
  struct stat status;
  if (fstat(fileno(stream), &status) != 0) return last_error();
  id = id_of(status);
  return {};
}

std::error_code open_output_file(const char* name, OutputFile& out) {
  // Created where nothing is there, so that the run knows it made the
  // file; else opened as it is, through a link, or creating a link's target.
  int fd = open(name, kOutputFlags | O_CREAT | O_EXCL, kNewFileMode);
  out.created = fd >= 0;
  if (fd < 0 && errno == EEXIST) fd = open(name, kOutputFlags | O_CREAT, kNewFileMode);
  if (fd < 0) return last_error();
  struct stat status;
  if (fstat(fd, &status) != 0) {
    // A file made here stays, empty: without its id, nothing tells that
    // the name still leads to it.
    const std::error_code error = last_error();
    close(fd);
    return error;
  }
  out.handle = fd;
  out.id = id_of(status);
  out.regular = S_ISREG(status.st_mode);
  return {};
}

std::error_code start_writing(OutputFile& out) {
  const int stream_fd = fcntl(descriptor(out), F_DUPFD_CLOEXEC, 0);
  if (stream_fd < 0) return last_error();
  out.stream = fdopen(stream_fd, "wb");
  if (out.stream == nullptr) {
    const std::error_code error = last_error();
    close(stream_fd);
    return error;
  }
  if (out.regular) {
    if (!empty(out)) return last_error();
    out.truncated = true;
  }
  return {};
}

std::error_code finish_output(OutputFile& out) {
  const int fd = descriptor(out);
  out.handle = OutputFile::kNoHandle;  // gone even where the close fails
  return close(fd) == 0 ? std::error_code() : last_error();
}

void discard_output(const char* name, OutputFile& out) {
  const bool ours = out.regular && (out.created || out.truncated);
  // Emptied first, so that nothing written stays where the name cannot be
  // removed (a folder that forbids it) or leads through a link.
  if (ours && out.handle != OutputFile::kNoHandle) static_cast<void>(empty(out));
  if (out.stream != nullptr) std::fclose(out.stream);
  out.stream = nullptr;
  if (out.handle != OutputFile::kNoHandle) static_cast<void>(finish_output(out));
  // lstat looks at the name itself: a link has an id of its own.
  struct stat status;
  if (ours && lstat(name, &status) == 0 && id_of(status) == out.id) unlink(name);
}

}  // namespace cli
