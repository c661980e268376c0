// For the unit tests on POSIX systems: a temporary file's stream whose
// descriptor is swapped for one open for reading only, so that the stream
// takes writes and the system refuses each one.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

std::FILE* open_unwritable_stream() {
  std::FILE* stream = std::tmpfile();
  const int read_only = open("/dev/null", O_RDONLY);
  if (stream == nullptr || read_only < 0 || dup2(read_only, fileno(stream)) < 0) return nullptr;
  close(read_only);
  return stream;
}
