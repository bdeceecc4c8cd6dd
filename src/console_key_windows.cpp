// The key wait on Windows: one key-down event read from the console's own
// input (CONIN$), whatever standard input is.
#include "console_key.hpp"

#include <windows.h>

namespace varnex {

namespace {

// Keys that only change what another key means, or switch a lock: pressed
// alone they do not end the wait. The console reports the generic codes;
// the left and right ones are listed for input that names the side.
bool is_modifier_or_lock(WORD key) {
  switch (key) {
    case VK_SHIFT:
    case VK_LSHIFT:
    case VK_RSHIFT:
    case VK_CONTROL:
    case VK_LCONTROL:
    case VK_RCONTROL:
    case VK_MENU:
    case VK_LMENU:
    case VK_RMENU:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
      return true;
    default:
      return false;
  }
}

// The console input while it is switched, so that the mode is put back when
// Ctrl+Break or closing the console window ends the process during the wait.
HANDLE switched_input = INVALID_HANDLE_VALUE;
DWORD saved_mode = 0;

BOOL WINAPI restore_before_exit(DWORD) {
  ::SetConsoleMode(switched_input, saved_mode);
  return FALSE;  // the default handling then ends the process
}

}  // namespace

void wait_for_key() {
  const HANDLE input =
      ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    0, nullptr);
  if (input == INVALID_HANDLE_VALUE) return;  // no console: the wait ends at once
  DWORD mode = 0;
  if (!::GetConsoleMode(input, &mode)) {
    ::CloseHandle(input);
    return;
  }
  switched_input = input;
  saved_mode = mode;
  ::SetConsoleCtrlHandler(restore_before_exit, TRUE);

  // Key events only, without line editing or echo; Ctrl+C is read as a key
  // like any other instead of ending the process.
  const DWORD raw = mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                                               ENABLE_PROCESSED_INPUT |
                                               ENABLE_MOUSE_INPUT | ENABLE_WINDOW_INPUT);
  if (::SetConsoleMode(input, raw)) {
    // Keys typed before the wait began, and the release of the Enter key
    // that answered the last prompt, do not end it.
    ::FlushConsoleInputBuffer(input);
    INPUT_RECORD event;
    DWORD got = 0;
    while (::ReadConsoleInputW(input, &event, 1, &got) && got == 1) {
      if (event.EventType != KEY_EVENT) continue;
      const KEY_EVENT_RECORD& key = event.Event.KeyEvent;
      if (key.bKeyDown && !is_modifier_or_lock(key.wVirtualKeyCode)) break;
    }
    ::SetConsoleMode(input, mode);
  }
  ::SetConsoleCtrlHandler(restore_before_exit, FALSE);
  switched_input = INVALID_HANDLE_VALUE;
  ::CloseHandle(input);
}

}  // namespace varnex
