// For the unit tests on POSIX systems: the stream's descriptor is swapped
// for one open for reading only, so that the stream takes writes and the
// system refuses each one.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

bool make_unwritable(std::FILE* stream) {
  const int read_only = open("/dev/null", O_RDONLY);
  const bool swapped = read_only >= 0 && dup2(read_only, fileno(stream)) >= 0;
  if (read_only >= 0) close(read_only);
  return swapped;
}
