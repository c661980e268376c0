// Starts the tool as Explorer does, for the test of its console window.
// Built as explorer.exe with no console of its own, it opens the tool with
// ShellExecuteEx, so that the tool gets a console window of its own with
// explorer.exe as its parent process. It watches that window: once the
// tool asks for Enter, it types a key other than Enter, which the window
// echoes only while a program reads it, and once that shows, Enter.
//   explorer.exe REPORT TOOL [DROPPED_FILE]
// REPORT receives, in UTF-8, the window's text as it was when the tool
// asked for Enter, then "waited for Enter" if the key was echoed there,
// then "exit STATUS".
// windows.h first, as the other Windows headers build on it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <string>

namespace {

constexpr wchar_t kPrompt[] = L"Press Enter to close this window.\n";
constexpr wchar_t kKey = L'x';       // typed first: the tool reads on past it
constexpr DWORD kPollMs = 100;
constexpr DWORD kStepsToWait = 600;  // a minute for each thing awaited
constexpr DWORD kEndMs = 30000;      // for the tool to end once Enter is typed

HANDLE open_console(const wchar_t* name) {
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

// The text of process `pid`'s console window, a line for each line printed
// (a full row runs on into the next) up to the cursor, or nothing while it
// has no console.
std::wstring read_window(DWORD pid) {
  std::wstring text;
  if (!AttachConsole(pid)) return text;
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
  FreeConsole();
  return text;
}

// Types the key `key`, down and up, into process `pid`'s console window.
void type_key(DWORD pid, WORD virtual_key, wchar_t key) {
  if (!AttachConsole(pid)) return;
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
  FreeConsole();
}

// Watches process `pid`'s window until its text ends in `ending` or the
// process ends, a minute at most. Returns whether the text came; `window`
// is the text as last seen.
bool await_window(HANDLE process, DWORD pid, const std::wstring& ending, std::wstring& window) {
  for (DWORD step = 0; step < kStepsToWait; ++step) {
    if (WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0) return false;
    const std::wstring now = read_window(pid);
    if (!now.empty()) window = now;
    if (window.size() >= ending.size() &&
        window.compare(window.size() - ending.size(), ending.size(), ending) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 3) return 2;
  std::wstring dropped = argc > 3 ? L"\"" + std::wstring(argv[3]) + L"\"" : L"";

  SHELLEXECUTEINFOW start = {};
  start.cbSize = sizeof start;
  start.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
  start.lpFile = argv[2];
  start.lpParameters = dropped.empty() ? nullptr : dropped.c_str();
  start.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&start) || start.hProcess == nullptr) return 3;
  const DWORD pid = GetProcessId(start.hProcess);

  // Waiting shows as the key's echo below the prompt, never as time.
  std::wstring window, report;
  if (await_window(start.hProcess, pid, kPrompt, window)) {
    report = window;
    type_key(pid, 'X', kKey);
    if (await_window(start.hProcess, pid, kPrompt + std::wstring(1, kKey), window)) {
      report += L"waited for Enter\n";
    }
    type_key(pid, VK_RETURN, L'\r');
  } else {
    report = window;
  }
  DWORD status = STILL_ACTIVE;
  if (WaitForSingleObject(start.hProcess, kEndMs) == WAIT_OBJECT_0) {
    GetExitCodeProcess(start.hProcess, &status);
  } else {
    TerminateProcess(start.hProcess, 1);
  }
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
