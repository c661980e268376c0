// For the unit tests on Windows: a temporary file's stream whose
// descriptor is swapped for one open for reading only, so that the stream
// takes writes and the system refuses each one.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

std::FILE* open_unwritable_stream() {
  std::FILE* stream = std::tmpfile();
  const int read_only = _open("NUL", _O_RDONLY | _O_BINARY);
  if (stream == nullptr || read_only < 0 || _dup2(read_only, _fileno(stream)) < 0) return nullptr;
  _close(read_only);
  return stream;
}
