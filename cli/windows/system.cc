// Windows: holds the console window that Explorer made for the tool, writes
// to a console in UTF-16, and asks Windows itself about files, through the
// handles the run holds. The C runtime's stat is never asked: it guesses a
// file's execute bits from its name's extension, and Windows' msvcrt.dll
// answers "not found" for any \\?\ path.
#include "cli/system.h"

// windows.h first, as the other Windows headers build on it.
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

#include <fcntl.h>
#include <io.h>

#include <cerrno>
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

// An old output with these attributes is not written over.
constexpr DWORD kNotReplaced = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

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

// The id of the file that `file` is open on: the volume and the 128-bit
// file id where the system and the file system have them (ReFS needs all
// of them), else the 64-bit file index. The file system decides which, so
// two handles on one file get the same kind.
bool id_of(HANDLE file, FileId& id) {
  FILE_ID_INFO info;
  if (GetFileInformationByHandleEx(file, FileIdInfo, &info, sizeof info)) {
    id.volume = info.VolumeSerialNumber;
    static_assert(sizeof info.FileId <= sizeof id.file, "a file id fits");
    std::memcpy(id.file, &info.FileId, sizeof info.FileId);
    return true;
  }
  BY_HANDLE_FILE_INFORMATION index;
  if (!GetFileInformationByHandle(file, &index)) return false;
  id.volume = index.dwVolumeSerialNumber;
  std::memcpy(id.file, &index.nFileIndexLow, sizeof index.nFileIndexLow);
  std::memcpy(id.file + sizeof index.nFileIndexLow, &index.nFileIndexHigh,
              sizeof index.nFileIndexHigh);
  return true;
}

HANDLE handle_of(const OutputFile& out) { return reinterpret_cast<HANDLE>(out.handle); }

// Opens the output `name` for writing, created where there is none, with
// `access` besides. Reading and writing are shared, as fopen shares them;
// deletion is not, so that no other program can rename or remove the file
// while the run holds it.
HANDLE open_for_writing(const wchar_t* name, DWORD access) {
  return CreateFileW(name, GENERIC_WRITE | access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Whether `name` itself, not a link there, is the file `id`.
bool names_file(const char* name, const FileId& id) {
  DWORD error;
  const std::unique_ptr<wchar_t[]> wide = wide_name(name, error);
  if (!wide) return false;
  const Handle file(CreateFileW(wide.get(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  FileId found;
  return file && id_of(file.get(), found) && found == id;
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

void write_text(const char* text) { print_text(text, std::strlen(text)); }

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

void print_text(const char* text, std::size_t size) {
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

std::error_code identify(std::FILE* stream, FileId& id) {
  const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (file == INVALID_HANDLE_VALUE) return std::make_error_code(std::errc::bad_file_descriptor);
  return id_of(file, id) ? std::error_code() : windows_error(GetLastError());
}

std::error_code open_output_file(const char* name, OutputFile& out) {
  DWORD error = ERROR_SUCCESS;
  const std::unique_ptr<wchar_t[]> wide = wide_name(name, error);
  if (!wide) return windows_error(error);
  // DELETE lets a failed output be removed through its handle. Where the
  // folder or the file denies it, or another program holds the file open
  // without sharing deletion, the output opens as fopen opens it, and can
  // still be emptied.
  HANDLE file = open_for_writing(wide.get(), DELETE);
  if (file == INVALID_HANDLE_VALUE &&
      (GetLastError() == ERROR_ACCESS_DENIED || GetLastError() == ERROR_SHARING_VIOLATION)) {
    file = open_for_writing(wide.get(), 0);
  }
  if (file == INVALID_HANDLE_VALUE) return windows_error(GetLastError());
  out.created = GetLastError() != ERROR_ALREADY_EXISTS;
  out.handle = reinterpret_cast<std::intptr_t>(file);
  out.regular = GetFileType(file) == FILE_TYPE_DISK;
  if (id_of(file, out.id)) return {};
  const std::error_code failure = windows_error(GetLastError());
  discard_output(name, out);  // a file made here goes, through its handle
  return failure;
}

std::error_code start_writing(OutputFile& out) {
  const HANDLE file = handle_of(out);
  if (!out.created && out.regular) {
    // Windows creates no file over a hidden or system one (fopen fails
    // there), and neither does the tool: the old file stays as it is.
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
      return windows_error(GetLastError());
    }
    if ((basic.FileAttributes & kNotReplaced) != 0) return windows_error(ERROR_ACCESS_DENIED);
  }
  HANDLE second;
  if (!DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &second, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    return windows_error(GetLastError());
  }
  const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(second), _O_WRONLY | _O_BINARY);
  if (fd == -1) {
    const std::error_code error(errno, std::generic_category());
    CloseHandle(second);
    return error;
  }
  out.stream = _fdopen(fd, "wb");
  if (out.stream == nullptr) {
    const std::error_code error(errno, std::generic_category());
    _close(fd);
    return error;
  }
  if (out.regular) {
    if (!SetEndOfFile(file)) return windows_error(GetLastError());  // at the start, where it opened
    out.truncated = true;
  }
  return {};
}

std::error_code finish_output(OutputFile& out) {
  const HANDLE file = handle_of(out);
  out.handle = OutputFile::kNoHandle;  // gone even where the close fails
  return CloseHandle(file) ? std::error_code() : windows_error(GetLastError());
}

void discard_output(const char* name, OutputFile& out) {
  const HANDLE file = handle_of(out);
  if (out.handle != OutputFile::kNoHandle && out.regular && (out.created || out.truncated)) {
    // Emptied first, so that nothing written stays where the file cannot
    // be removed, or is reached through a link, or is held open elsewhere.
    FILE_END_OF_FILE_INFO end = {};
    SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end);
    // Removed as the last handle on it closes. A file made by this run is
    // the run's own, under whatever name; an older one only where the name
    // is that file itself, not a link to it. No other program can rename
    // it meanwhile: the run shares no deletion.
    if (out.created || names_file(name, out.id)) {
      FILE_DISPOSITION_INFO remove = {TRUE};
      SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof remove);
    }
  }
  if (out.stream != nullptr) std::fclose(out.stream);
  out.stream = nullptr;
  if (out.handle != OutputFile::kNoHandle) static_cast<void>(finish_output(out));
}

}  // namespace cli
