// Starts the tool as Explorer does, for the test of its console window.
// Built as explorer.exe with no console of its own, it opens the tool with
// ShellExecuteEx, so that the tool gets a console window of its own with
// explorer.exe as its parent process. It watches that window: once the
// tool asks for Enter, it checks that the tool really waits, then types
// Enter into the window.
//   explorer.exe REPORT TOOL [DROPPED_FILE]
// REPORT receives, in UTF-8, the window's text as it was last seen, then
// "waited for Enter" if the tool waited, then "exit STATUS".
// windows.h first, as the other Windows headers build on it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <string>

namespace {

constexpr wchar_t kPrompt[] = L"Press Enter to close this window.";
constexpr DWORD kPollMs = 100;
constexpr DWORD kStepsToWait = 600;      // a minute for the tool to print or end
constexpr DWORD kStillWaitingMs = 1000;  // what "waits" means here
constexpr DWORD kEndMs = 30000;          // for the tool to end once Enter is typed

HANDLE open_console(const wchar_t* name) {
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

// The text of process `pid`'s console window, a line for each line printed
// (a full row runs on into the next), or nothing while it has no console.
std::wstring read_window(DWORD pid) {
  std::wstring text;
  if (!AttachConsole(pid)) return text;
  const HANDLE out = open_console(L"CONOUT$");
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (out != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(out, &info)) {
    std::wstring row(info.dwSize.X, L' ');
    for (SHORT y = 0; y < info.dwCursorPosition.Y; ++y) {
      DWORD got = 0;
      ReadConsoleOutputCharacterW(out, &row[0], info.dwSize.X, COORD{0, y}, &got);
      const std::size_t used = row.find_last_not_of(L' ') + 1;
      text.append(row, 0, used);
      if (used < row.size()) text.push_back(L'\n');
    }
  }
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  FreeConsole();
  return text;
}

void type_enter(DWORD pid) {
  if (!AttachConsole(pid)) return;
  const HANDLE in = open_console(L"CONIN$");
  INPUT_RECORD keys[2] = {};
  for (INPUT_RECORD& key : keys) {
    key.EventType = KEY_EVENT;
    key.Event.KeyEvent.wRepeatCount = 1;
    key.Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
    key.Event.KeyEvent.uChar.UnicodeChar = L'\r';
  }
  keys[0].Event.KeyEvent.bKeyDown = TRUE;
  DWORD written;
  if (in != INVALID_HANDLE_VALUE) {
    WriteConsoleInputW(in, keys, 2, &written);
    CloseHandle(in);
  }
  FreeConsole();
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

  std::wstring window, report;
  bool ended = false;
  for (DWORD step = 0; step < kStepsToWait && !ended; ++step) {
    ended = WaitForSingleObject(start.hProcess, kPollMs) == WAIT_OBJECT_0;
    if (ended) break;
    const std::wstring now = read_window(pid);
    if (!now.empty()) window = now;
    if (window.find(kPrompt) != std::wstring::npos) break;
  }
  report = window;
  if (!ended && WaitForSingleObject(start.hProcess, kStillWaitingMs) == WAIT_TIMEOUT) {
    report += L"waited for Enter\n";
    type_enter(pid);
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
