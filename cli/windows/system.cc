// Windows: holds the console window that Explorer made for the tool, writes
// to a console in UTF-16, and asks Windows itself about files. The C
// runtime's stat, under std::filesystem too, is never asked: it guesses a
// file's execute bits from its name's extension, which makes
// std::filesystem::equivalent tell game.com from a link to it, and
// Windows' msvcrt.dll answers "not found" for any \\?\ path.
#include "cli/system.h"

// windows.h first, as the other Windows headers build on it.
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

namespace cli {
namespace {

constexpr wchar_t kExplorer[] = L"explorer.exe";
constexpr char kDropHint[] = "Drop a .nes file onto nesexpand.exe to expand it.\n";
constexpr char kPressEnter[] = "Press Enter to close this window.\n";

// What a name may lead to besides a regular file, by its own attributes.
constexpr DWORD kNotAFile =
    FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;

// A handle that is closed when it goes.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (*this) CloseHandle(handle_);
  }
  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// The failure that Windows reported as `error`. One that set no error is
// a failure all the same, and never reads as success.
std::error_code windows_error(DWORD error) {
  if (error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY) {
    return std::make_error_code(std::errc::not_enough_memory);
  }
  if (error == ERROR_SUCCESS) error = ERROR_GEN_FAILURE;
  return std::error_code(static_cast<int>(error), std::system_category());
}

// `size` bytes of `text` (-1: up to its terminator, which is converted too)
// in UTF-16, `length` units long, converted as fopen converts a file name:
// by the code page of the file calls, the active one, which the manifest
// makes UTF-8. Returns nullptr, with the error in `error`, where it cannot be.
std::unique_ptr<wchar_t[]> to_utf16(const char* text, int size, int& length, DWORD& error) {
  const UINT code_page = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
  length = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text, size, nullptr, 0);
  if (length == 0) {
    error = GetLastError();
    return nullptr;
  }
  std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[length]);
  if (!wide) {
    error = ERROR_NOT_ENOUGH_MEMORY;
  } else if (MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text, size, wide.get(), length) ==
             0) {
    error = GetLastError();
    wide.reset();
  }
  return wide;
}

// A file name in UTF-16, as to_utf16 converts it.
std::unique_ptr<wchar_t[]> wide_name(const char* name, DWORD& error) {
  int length;
  return to_utf16(name, -1, length, error);
}

bool is_not_found(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Opens `name` to ask about the file it leads to, links followed, as fopen
// follows them: no access is needed for that, and a folder opens too.
HANDLE open_to_ask(const wchar_t* name) {
  return CreateFileW(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Whether two open files are one: the same volume and the same file id,
// 128 bits wide where the system and the file system have them (ReFS needs
// all of them), else the 64-bit file index.
bool same_id(HANDLE first, HANDLE second, bool& same) {
  FILE_ID_INFO ids[2];
  if (GetFileInformationByHandleEx(first, FileIdInfo, &ids[0], sizeof ids[0]) &&
      GetFileInformationByHandleEx(second, FileIdInfo, &ids[1], sizeof ids[1])) {
    same = ids[0].VolumeSerialNumber == ids[1].VolumeSerialNumber &&
           std::memcmp(&ids[0].FileId, &ids[1].FileId, sizeof ids[0].FileId) == 0;
    return true;
  }
  BY_HANDLE_FILE_INFORMATION infos[2];
  if (!GetFileInformationByHandle(first, &infos[0]) ||
      !GetFileInformationByHandle(second, &infos[1])) {
    return false;
  }
  same = infos[0].dwVolumeSerialNumber == infos[1].dwVolumeSerialNumber &&
         infos[0].nFileIndexHigh == infos[1].nFileIndexHigh &&
         infos[0].nFileIndexLow == infos[1].nFileIndexLow;
  return true;
}

// Whether `name` itself, not what a link leads to, is a regular file.
bool names_regular_file(const wchar_t* name) {
  const DWORD attributes = GetFileAttributesW(name);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & kNotAFile) == 0;
}

// Whether nothing is left under `name`.
bool is_gone(const wchar_t* name) {
  return GetFileAttributesW(name) == INVALID_FILE_ATTRIBUTES && is_not_found(GetLastError());
}

// Cuts the regular file under `name` to nothing, through a handle to the
// name itself, so that no link is followed.
void empty_file(const wchar_t* name) {
  const Handle file(CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & kNotAFile) != 0) {
    return;
  }
  SetEndOfFile(file.get());  // at the start, where a file opens
}

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

// Whether process `id` was started before this one. A parent that has
// exited may leave its id to a process started later, which is no parent.
bool started_before_this(DWORD id) {
  const Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  FILETIME started, this_started, unused;
  return process && GetProcessTimes(process.get(), &started, &unused, &unused, &unused) &&
         GetProcessTimes(GetCurrentProcess(), &this_started, &unused, &unused, &unused) &&
         CompareFileTime(&started, &this_started) < 0;
}

bool parent_is_explorer() {
  const Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry;
  return snapshot && find_process(snapshot.get(), GetCurrentProcessId(), entry) &&
         find_process(snapshot.get(), entry.th32ParentProcessID, entry) &&
         _wcsicmp(entry.szExeFile, kExplorer) == 0 && started_before_this(entry.th32ProcessID);
}

void write_text(const char* text) { write_output(text, std::strlen(text)); }

// Prints `hint`, if any, and waits for Enter, in a window that Explorer made.
void hold_window(const char* hint) {
  // Explorer as the parent, as Go's mousetrap checks, and a console on both
  // streams, as a window has. Being the console's only process is no sign:
  // under Wine a run from a Unix terminal is alone on its console too.
  if (!is_console(STD_INPUT_HANDLE) || !is_console(STD_OUTPUT_HANDLE) || !parent_is_explorer()) {
    return;
  }
  if (hint != nullptr) write_text(hint);
  write_text(kPressEnter);
  for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
  }
}

}  // namespace

void hold_window_after_failure() { hold_window(nullptr); }
void hold_window_after_usage() { hold_window(kDropHint); }

void write_output(const char* text, std::size_t size) {
  // A console shows narrow text in its own code page, which is seldom
  // UTF-8; given UTF-16 it shows every character.
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  int length = 0;
  DWORD error, written;
  const std::unique_ptr<wchar_t[]> wide =
      is_console(STD_OUTPUT_HANDLE) && size > 0
          ? to_utf16(text, static_cast<int>(size), length, error)
          : nullptr;
  std::fflush(stdout);  // in order with what went out through the C library
  if (!wide || !WriteConsoleW(out, wide.get(), static_cast<DWORD>(length), &written, nullptr)) {
    std::fwrite(text, 1, size, stdout);
  }
}

std::error_code same_file(const char* source, const char* output, bool& same) {
  same = false;
  DWORD error = ERROR_SUCCESS;
  const std::unique_ptr<wchar_t[]> output_name = wide_name(output, error);
  if (!output_name) return windows_error(error);
  const Handle output_file(open_to_ask(output_name.get()));
  if (!output_file) {
    // Not found: no file for fopen to open, at most a link to one that it
    // would create, which cannot be the source.
    error = GetLastError();
    return is_not_found(error) ? std::error_code() : windows_error(error);
  }
  const std::unique_ptr<wchar_t[]> source_name = wide_name(source, error);
  if (!source_name) return windows_error(error);
  const Handle source_file(open_to_ask(source_name.get()));
  if (!source_file || !same_id(source_file.get(), output_file.get(), same)) {
    return windows_error(GetLastError());
  }
  return {};
}

void discard_partial_output(const char* name) {
  DWORD error;
  const std::unique_ptr<wchar_t[]> wide = wide_name(name, error);
  if (!wide || !names_regular_file(wide.get())) return;
  // Wine reports success where the folder forbids removal, and leaves the
  // file: whatever DeleteFileW says, the name must be gone.
  if (DeleteFileW(wide.get()) && is_gone(wide.get())) return;
  empty_file(wide.get());
}

}  // namespace cli
