// For the unit tests on Windows: the stream's descriptor is swapped for one
// open for reading only, so that the stream takes writes and the system
// refuses each one.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

bool make_unwritable(std::FILE* stream) {
  const int read_only = _open("NUL", _O_RDONLY | _O_BINARY);
  const bool swapped = read_only >= 0 && _dup2(read_only, _fileno(stream)) >= 0;
  if (read_only >= 0) _close(read_only);
  return swapped;
}
