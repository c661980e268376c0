// Starts the tool for the test of its console window, as Explorer does or,
// copied under any other name, as a console program such as cmd does.
// Built as explorer.exe with no console of its own, it opens the tool with
// ShellExecuteEx, so that the tool gets a console window of its own with
// explorer.exe as its parent process. Under another name it makes a
// console window of its own and starts the tool there with CreateProcess,
// the console on both streams, as cmd does in its window. It watches the
// tool's window: once the tool asks for Enter, it types a key other than
// Enter, which the window echoes only while a program reads it, and once
// that shows, Enter.
//   explorer.exe REPORT TOOL [DROPPED_FILE]
//   console.exe REPORT TOOL [ARGUMENT]
// REPORT receives, in UTF-8, the window's text as it was when the tool
// asked for Enter, or else as last seen (from a console program: when the
// tool ended, below a line "code page N", the console's output code page),
// then "waited for Enter" if the key was echoed there, then "exit STATUS".
// windows.h first, as the other Windows headers build on it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <string>

namespace {

constexpr wchar_t kExplorer[] = L"explorer.exe";
constexpr wchar_t kPrompt[] = L"Press Enter to close this window.\n";
constexpr wchar_t kKey = L'x';       // typed first: the tool reads on past it
constexpr DWORD kPollMs = 100;
constexpr DWORD kStepsToWait = 600;  // a minute for each thing awaited
constexpr DWORD kEndMs = 30000;      // for the tool to end once Enter is typed

// The tool as started: its process, and whether it shares this program's
// console rather than having a window of its own.
struct Tool {
  HANDLE process;
  DWORD pid;
  bool shares_console;
};

// Joins the tool's console, unless it is this program's own already.
bool join_console(const Tool& tool) { return tool.shares_console || AttachConsole(tool.pid); }
void leave_console(const Tool& tool) {
  if (!tool.shares_console) FreeConsole();
}

HANDLE open_console(const wchar_t* name, SECURITY_ATTRIBUTES* inherit = nullptr) {
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     inherit, OPEN_EXISTING, 0, nullptr);
}

// The text of the tool's console window, a line for each line printed (a
// full row runs on into the next) up to the cursor, or nothing while it
// has no console.
std::wstring read_window(const Tool& tool) {
  std::wstring text;
  if (!join_console(tool)) return text;
  const HANDLE out = open_console(L"CONOUT$");
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (out != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(out, &info)) {
    std::wstring row(info.dwSize.X, L' ');
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
      DWORD got = 0;
      ReadConsoleOutputCharacterW(out, &row[0], info.dwSize.X, COORD{0, y}, &got);
      const std::size_t used = y < info.dwCursorPosition.Y ? row.find_last_not_of(L' ') + 1
                                                            : info.dwCursorPosition.X;
      text.append(row, 0, used);
      if (used < row.size() && y < info.dwCursorPosition.Y) text.push_back(L'\n');
    }
  }
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  leave_console(tool);
  return text;
}

// Types the key `key`, down and up, into the tool's console window.
void type_key(const Tool& tool, WORD virtual_key, wchar_t key) {
  if (!join_console(tool)) return;
  const HANDLE in = open_console(L"CONIN$");
  INPUT_RECORD keys[2] = {};
  for (INPUT_RECORD& record : keys) {
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.wRepeatCount = 1;
    record.Event.KeyEvent.wVirtualKeyCode = virtual_key;
    record.Event.KeyEvent.uChar.UnicodeChar = key;
  }
  keys[0].Event.KeyEvent.bKeyDown = TRUE;
  DWORD written;
  if (in != INVALID_HANDLE_VALUE) {
    WriteConsoleInputW(in, keys, 2, &written);
    CloseHandle(in);
  }
  leave_console(tool);
}

// Watches the tool's window until its text ends in `ending` or the tool
// ends, a minute at most. Returns whether the text came; `window` is the
// text as last seen.
bool await_window(const Tool& tool, const std::wstring& ending, std::wstring& window) {
  for (DWORD step = 0; step < kStepsToWait; ++step) {
    if (WaitForSingleObject(tool.process, kPollMs) == WAIT_OBJECT_0) return false;
    const std::wstring now = read_window(tool);
    if (!now.empty()) window = now;
    if (window.size() >= ending.size() &&
        window.compare(window.size() - ending.size(), ending.size(), ending) == 0) {
      return true;
    }
  }
  return false;
}

// Opens `path` with `argument`, if any, as Explorer does for a double-click
// or a drop: the tool gets a console window of its own.
bool start_as_explorer(const wchar_t* path, const wchar_t* argument, Tool& tool) {
  const std::wstring quoted = argument ? L"\"" + std::wstring(argument) + L"\"" : L"";
  SHELLEXECUTEINFOW start = {};
  start.cbSize = sizeof start;
  start.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
  start.lpFile = path;
  start.lpParameters = argument ? quoted.c_str() : nullptr;
  start.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&start) || start.hProcess == nullptr) return false;
  tool = {start.hProcess, GetProcessId(start.hProcess), false};
  return true;
}

// Starts `path` with `argument`, if any, in a console window of this
// program's own, with that console as its standard input, output and error.
bool start_in_console(const wchar_t* path, const wchar_t* argument, Tool& tool) {
  if (!AllocConsole()) return false;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  STARTUPINFOW streams = {};
  streams.cb = sizeof streams;
  streams.dwFlags = STARTF_USESTDHANDLES;
  streams.hStdInput = open_console(L"CONIN$", &inherit);
  streams.hStdOutput = streams.hStdError = open_console(L"CONOUT$", &inherit);
  std::wstring command = L"\"" + std::wstring(path) + L"\"";
  if (argument) command += L" \"" + std::wstring(argument) + L"\"";
  PROCESS_INFORMATION started;
  if (!CreateProcessW(path, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &streams,
                      &started)) {
    return false;
  }
  CloseHandle(started.hThread);
  tool = {started.hProcess, started.dwProcessId, true};
  return true;
}

// Whether this program runs as explorer.exe.
bool named_explorer() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return false;
  const wchar_t* name = path + length;
  while (name > path && name[-1] != L'\\' && name[-1] != L'/') --name;
  return _wcsicmp(name, kExplorer) == 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 3) return 2;
  const wchar_t* argument = argc > 3 ? argv[3] : nullptr;
  Tool tool;
  const bool started = named_explorer() ? start_as_explorer(argv[2], argument, tool)
                                        : start_in_console(argv[2], argument, tool);
  if (!started) return 3;

  // Waiting shows as the key's echo below the prompt, never as time.
  std::wstring window, report;
  if (tool.shares_console) report = L"code page " + std::to_wstring(GetConsoleOutputCP()) + L"\n";
  const bool asked = await_window(tool, kPrompt, window);
  if (asked) {
    report += window;
    type_key(tool, 'X', kKey);
    if (await_window(tool, kPrompt + std::wstring(1, kKey), window)) {
      report += L"waited for Enter\n";
    }
    type_key(tool, VK_RETURN, L'\r');
  }
  DWORD status = STILL_ACTIVE;
  if (WaitForSingleObject(tool.process, kEndMs) == WAIT_OBJECT_0) {
    GetExitCodeProcess(tool.process, &status);
  } else {
    TerminateProcess(tool.process, 1);
  }
  // A window of its own is gone with the tool; a shared one stays to read.
  if (!asked) report += tool.shares_console ? read_window(tool) : window;
  report += L"exit " + std::to_wstring(status) + L"\n";

  const int size =
      WideCharToMultiByte(CP_UTF8, 0, report.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, report.c_str(), -1, &utf8[0], size, nullptr, nullptr);
  const HANDLE file = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  const bool saved = file != INVALID_HANDLE_VALUE &&
                     WriteFile(file, utf8.data(), size - 1, &written, nullptr) && CloseHandle(file);
  return saved ? 0 : 4;
}
