// Holds a file open as an indexer, a scanner or a sync client does, for the
// tests of another program holding the tool's output: from the moment a
// file exists under NAME it opens it for reading, sharing only reading, and
// keeps it open until a file exists under STOP.
//   holder.exe NAME STOP
// Prints "watching" once it watches, and "held" once it holds the file.
// windows.h first, as the other Windows headers build on it.
#include <windows.h>

#include <cstdio>

namespace {

constexpr DWORD kPollMs = 10;  // while it holds the file, for STOP

bool exists(const wchar_t* name) { return GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES; }

void say(const char* line) {
  std::puts(line);
  std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  say("watching");
  HANDLE held = INVALID_HANDLE_VALUE;
  while (!exists(argv[2])) {
    if (held != INVALID_HANDLE_VALUE) {
      Sleep(kPollMs);
      continue;
    }
    // Tried again at once: the file may be there for only a moment.
    held = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held != INVALID_HANDLE_VALUE) say("held");
  }
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  return 0;
}
