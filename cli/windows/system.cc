// Windows: holds the console window that Explorer made for the tool, and
// tells a link from a regular file.
#include "cli/system.h"

// windows.h first, as the other Windows headers build on it.
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

#include <cstdio>
#include <cwchar>
#include <system_error>

namespace cli {
namespace {

constexpr wchar_t kExplorer[] = L"explorer.exe";
constexpr char kDropHint[] = "Drop a .nes file onto nesexpand.exe to expand it.\n";
constexpr char kPressEnter[] = "Press Enter to close this window.\n";

bool is_console(DWORD stream) {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(stream), &mode) != 0;
}

// The snapshot's entry for process `id`, or false when it has none.
bool find_process(HANDLE snapshot, DWORD id, PROCESSENTRY32W& entry) {
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == id) return true;
  }
  return false;
}

bool parent_is_explorer() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry;
  const bool explorer = find_process(snapshot, GetCurrentProcessId(), entry) &&
                        find_process(snapshot, entry.th32ParentProcessID, entry) &&
                        _wcsicmp(entry.szExeFile, kExplorer) == 0;
  CloseHandle(snapshot);
  return explorer;
}

// Prints `hint`, if any, and waits for Enter, in a window that Explorer made.
void hold_window(const char* hint) {
  // Explorer as the parent, as Go's mousetrap checks, and a console on both
  // streams, as a window has. Being the console's only process is no sign:
  // under Wine a run from a Unix terminal is alone on its console too.
  if (!is_console(STD_INPUT_HANDLE) || !is_console(STD_OUTPUT_HANDLE) || !parent_is_explorer()) {
    return;
  }
  if (hint != nullptr) std::fputs(hint, stdout);
  std::fputs(kPressEnter, stdout);
  std::fflush(stdout);
  for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
  }
}

}  // namespace

void hold_window_after_failure() { hold_window(nullptr); }
void hold_window_after_usage() { hold_window(kDropHint); }

bool names_regular_file(const std::filesystem::path& name) {
  // MinGW's symlink_status follows links, as status does, so the name's
  // own attributes tell a link (a reparse point) from the file.
  const DWORD attributes = GetFileAttributesW(name.c_str());
  constexpr DWORD kNotAFile =
      FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & kNotAFile) != 0) return false;
  std::error_code error;
  return std::filesystem::status(name, error).type() == std::filesystem::file_type::regular;
}

}  // namespace cli
