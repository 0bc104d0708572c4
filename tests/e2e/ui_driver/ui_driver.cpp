// ui_driver: starts setup.exe and drives its dialog from outside, the way a
// user would, for the end-to-end tests and the sample walk-through.
//
//   ui_driver [--timeout MS] [--cwd DIR] -- PROGRAM [ARG...] [: COMMAND [ARG...]]...
//
// Commands (one result line each, JSON, ASCII only):
//   wait-dialog           wait for the top-level, unowned #32770 window
//                         captioned "Orvik Setup" of the started process
//   activate              bring the dialog to the foreground, as it is when
//                         a user starts the program (a console parent
//                         keeps the foreground under Wine)
//   read ID               control text: "text" (JSON string) and "ansi"
//                         (hex of the bytes in the process's ANSI code page)
//   checked ID            BM_GETCHECK state of a button
//   focus                 id of the control that has the keyboard focus
//   geometry              window and client rectangles, the work area
//   controls              every child: id, class, text, styles, rectangle
//   click ID              BM_CLICK, waiting until the dialog has handled it
//   click-async ID        BM_CLICK posted: for buttons that open a modal box
//   set ID TEXT           WM_SETTEXT
//   wait-msgbox           wait for a #32770 window owned by the dialog
//   press-ok              click the OK button of that message box
//   windows               the process's visible top-level windows: class,
//                         caption and whether the dialog owns them
//   wait-exit             wait for the process to end, report its status
//   key VK [VK...]        type virtual key VK: the dialog is brought to the
//                         foreground and the key goes through the system's
//                         input queue (SendInput) to the focused control, as
//                         from the keyboard (F1 becomes WM_HELP only there);
//                         several keys are pressed in order and released in
//                         reverse (key 16 112 is Shift+F1)
//   syscommand SC         WM_SYSCOMMAND SC to the dialog, waiting until it is
//                         handled (0xF020 minimise, 0xF120 restore)
//   wait-window TEXT      wait for a visible top-level window of any process,
//                         not the dialog, whose caption or a child's text
//                         contains TEXT (ignoring case): pid, class, caption,
//                         child texts
//   no-window TEXT MS     fails when such a window is there, or appears
//                         within MS milliseconds
//   close-window [ID]     click button ID of that window, or without ID post
//                         WM_CLOSE to it, and wait until it is gone
//   pause                 report, then wait for one line on standard input
//                         (lets the caller take a screenshot meanwhile)
//
// Exit status: 0 when every command succeeded, 1 when one failed (the
// failure is the last line), 2 for a usage error. A process still running
// at the end is terminated, so that no dialog outlives a failed test.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace {

const wchar_t kDialogClass[] = L"#32770";
const wchar_t kDialogCaption[] = L"Orvik Setup";
// Id of the text control in the system's message box.
const int kMessageBoxTextId = 0xFFFF;
const DWORD kPollMs = 20;

struct Failure {
  std::string message;
};

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

std::string JsonString(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    }
  }
  return out + "\"";
}

std::string JsonString(const std::string& ascii) {
  return JsonString(std::wstring(ascii.begin(), ascii.end()));
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::string HandleText(HWND window) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
  return text;
}

std::string RectJson(const RECT& r) {
  char text[96];
  std::snprintf(text, sizeof text, "[%ld,%ld,%ld,%ld]", r.left, r.top, r.right,
                r.bottom);
  return text;
}

void Emit(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int ParseInt(const std::wstring& text) {
  wchar_t* end = nullptr;
  const long value = std::wcstol(text.c_str(), &end, 0);
  if (text.empty() || *end != L'\0') throw Failure{"not a number: " + Narrow(text)};
  return static_cast<int>(value);
}

// Cross-process messages: never wait forever on a hung target.
LRESULT Send(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
             DWORD timeout_ms, bool wide = true) {
  DWORD_PTR result = 0;
  const LRESULT ok =
      wide ? ::SendMessageTimeoutW(window, message, wparam, lparam,
                                   SMTO_NORMAL, timeout_ms, &result)
           : ::SendMessageTimeoutA(window, message, wparam, lparam,
                                   SMTO_NORMAL, timeout_ms, &result);
  if (!ok) throw Failure{"the target did not answer a message in time"};
  return static_cast<LRESULT>(result);
}

struct WindowText {
  std::wstring wide;
  std::string ansi;
};

WindowText ReadText(HWND window, DWORD timeout_ms) {
  WindowText text;
  const LRESULT length = Send(window, WM_GETTEXTLENGTH, 0, 0, timeout_ms);
  std::vector<wchar_t> wide(static_cast<size_t>(length) + 2);
  const LRESULT got = Send(window, WM_GETTEXT, wide.size(),
                           reinterpret_cast<LPARAM>(wide.data()), timeout_ms);
  text.wide.assign(wide.data(), static_cast<size_t>(got));
  // The A form converts in this process's ANSI code page: the same prefix,
  // so the same code page as setup.exe's own.
  std::vector<char> ansi(static_cast<size_t>(length) * 2 + 2);
  const LRESULT got_ansi =
      Send(window, WM_GETTEXT, ansi.size(), reinterpret_cast<LPARAM>(ansi.data()),
           timeout_ms, false);
  text.ansi.assign(ansi.data(), static_cast<size_t>(got_ansi));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

struct FindRequest {
  DWORD pid;
  HWND owner;  // nullptr: the unowned dialog
  HWND found;
};

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

// Own texts only (GetWindowTextW): a scan over other processes' windows
// must not wait on any of them.
std::wstring OwnText(HWND window) {
  wchar_t text[1024] = {};
  ::GetWindowTextW(window, text, 1024);
  return text;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
  return TRUE;
}

std::vector<HWND> ChildrenOf(HWND window) {
  std::vector<HWND> children;
  ::EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

struct TextRequest {
  std::wstring text;  // lower case
  HWND except;
  HWND found;
};

BOOL CALLBACK FindWindowWithText(HWND window, LPARAM param) {
  auto* request = reinterpret_cast<TextRequest*>(param);
  if (window == request->except || !::IsWindowVisible(window)) return TRUE;
  std::vector<HWND> candidates = ChildrenOf(window);
  candidates.insert(candidates.begin(), window);
  for (HWND candidate : candidates) {
    if (Lower(OwnText(candidate)).find(request->text) != std::wstring::npos) {
      request->found = window;
      return FALSE;
    }
  }
  return TRUE;
}

BOOL CALLBACK FindWindowOfProcess(HWND window, LPARAM param) {
  auto* request = reinterpret_cast<FindRequest*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (pid != request->pid || ClassOf(window) != kDialogClass) return TRUE;
  if (!::IsWindowVisible(window)) return TRUE;
  if (::GetWindow(window, GW_OWNER) != request->owner) return TRUE;
  if (request->owner == nullptr) {
    wchar_t caption[64] = {};
    ::GetWindowTextW(window, caption, 64);  // own text: no message sent
    if (std::wcscmp(caption, kDialogCaption) != 0) return TRUE;
  }
  request->found = window;
  return FALSE;
}

class Driver {
 public:
  Driver(PROCESS_INFORMATION process, DWORD timeout_ms)
      : process_(process), timeout_ms_(timeout_ms) {}

  ~Driver() {
    if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      ::TerminateProcess(process_.hProcess, 255);
      ::WaitForSingleObject(process_.hProcess, timeout_ms_);
      Emit("{\"event\":\"terminated\"}");
    }
    ::CloseHandle(process_.hThread);
    ::CloseHandle(process_.hProcess);
  }

  void Run(const std::vector<std::wstring>& command) {
    const std::wstring& name = command[0];
    const auto need = [&](size_t count) {
      if (command.size() != count + 1)
        throw Failure{Narrow(name) + " takes " + std::to_string(count) + " argument(s)"};
    };
    std::string out = "{\"cmd\":" + JsonString(name) + ",\"ok\":true";
    if (name == L"wait-dialog") {
      need(0);
      dialog_ = WaitForWindow(nullptr, "dialog");
      ::WaitForInputIdle(process_.hProcess, timeout_ms_);
      out += ",\"hwnd\":\"" + HandleText(dialog_) + "\",\"caption\":" +
             JsonString(ReadText(dialog_, timeout_ms_).wide);
    } else if (name == L"read") {
      need(1);
      const int id = ParseInt(command[1]);
      const WindowText text = ReadText(Control(id), timeout_ms_);
      out += ",\"id\":" + std::to_string(id) + ",\"text\":" + JsonString(text.wide) +
             ",\"ansi\":\"" + Hex(text.ansi) + "\"";
    } else if (name == L"checked") {
      need(1);
      const int id = ParseInt(command[1]);
      out += ",\"id\":" + std::to_string(id) + ",\"state\":" +
             std::to_string(Send(Control(id), BM_GETCHECK, 0, 0, timeout_ms_));
    } else if (name == L"focus") {
      need(0);
      out += ",\"id\":" + FocusId();
    } else if (name == L"geometry") {
      need(0);
      out += Geometry();
    } else if (name == L"controls") {
      need(0);
      out += ",\"controls\":" + Controls();
    } else if (name == L"activate") {
      need(0);
      RequireDialog();
      if (!::SetForegroundWindow(dialog_)) throw Failure{"SetForegroundWindow failed"};
      // Wine keeps the caption drawn inactive when the window was already
      // the active one of its thread: have it drawn as active.
      Send(dialog_, WM_NCACTIVATE, TRUE, 0, timeout_ms_);
      out += ",\"foreground\":" +
             std::string(::GetForegroundWindow() == dialog_ ? "true" : "false");
    } else if (name == L"windows") {
      need(0);
      out += ",\"windows\":" + TopLevelWindows();
    } else if (name == L"click" || name == L"click-async") {
      need(1);
      const int id = ParseInt(command[1]);
      HWND control = Control(id);
      if (name == L"click") {
        Send(control, BM_CLICK, 0, 0, timeout_ms_);
      } else if (!::PostMessageW(control, BM_CLICK, 0, 0)) {
        throw Failure{"could not post the click"};
      }
      out += ",\"id\":" + std::to_string(id);
    } else if (name == L"set") {
      need(2);
      const int id = ParseInt(command[1]);
      Send(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(command[2].c_str()),
           timeout_ms_);
      out += ",\"id\":" + std::to_string(id);
    } else if (name == L"wait-msgbox") {
      need(0);
      RequireDialog();
      box_ = WaitForWindow(dialog_, "message box");
      const WindowText caption = ReadText(box_, timeout_ms_);
      HWND text_control = ::GetDlgItem(box_, kMessageBoxTextId);
      const WindowText text =
          text_control ? ReadText(text_control, timeout_ms_) : WindowText{};
      out += ",\"hwnd\":\"" + HandleText(box_) + "\",\"caption\":" +
             JsonString(caption.wide) + ",\"text\":" + JsonString(text.wide) +
             ",\"ansi\":\"" + Hex(text.ansi) + "\",\"buttons\":" + ButtonIds(box_);
    } else if (name == L"press-ok") {
      need(0);
      if (box_ == nullptr || !::IsWindow(box_)) throw Failure{"no message box"};
      HWND ok = ::GetDlgItem(box_, IDOK);
      if (ok == nullptr) throw Failure{"the message box has no OK button"};
      // Posted: the box's owner goes on running and may end the process.
      if (!::PostMessageW(ok, BM_CLICK, 0, 0)) throw Failure{"could not post the click"};
    } else if (name == L"wait-exit") {
      need(0);
      if (::WaitForSingleObject(process_.hProcess, timeout_ms_) != WAIT_OBJECT_0)
        throw Failure{"the process did not end"};
      DWORD status = 0;
      ::GetExitCodeProcess(process_.hProcess, &status);
      out += ",\"status\":" + std::to_string(status);
    } else if (name == L"key") {
      if (command.size() < 2) throw Failure{"key needs at least one virtual key"};
      const size_t keys = command.size() - 1;
      RequireDialog();
      ::SetForegroundWindow(dialog_);
      std::vector<INPUT> input(2 * keys);
      for (size_t i = 0; i < keys; ++i) {
        const WORD key = static_cast<WORD>(ParseInt(command[1 + i]));
        INPUT& down = input[i];
        INPUT& up = input[input.size() - 1 - i];
        down.type = up.type = INPUT_KEYBOARD;
        down.ki.wVk = up.ki.wVk = key;
        up.ki.dwFlags = KEYEVENTF_KEYUP;
      }
      const UINT sent = ::SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
      if (sent != input.size()) throw Failure{"SendInput failed"};
      out += ",\"foreground\":" +
             std::string(::GetForegroundWindow() == dialog_ ? "true" : "false");
    } else if (name == L"syscommand") {
      need(1);
      RequireDialog();
      const int command_id = ParseInt(command[1]);
      Send(dialog_, WM_SYSCOMMAND, static_cast<WPARAM>(command_id), 0, timeout_ms_);
      out += ",\"iconic\":" + std::string(::IsIconic(dialog_) ? "true" : "false");
    } else if (name == L"wait-window") {
      need(1);
      other_ = WaitForText(command[1]);
      DWORD pid = 0;
      ::GetWindowThreadProcessId(other_, &pid);
      std::string texts = "[";
      for (HWND child : ChildrenOf(other_)) {
        if (texts.size() > 1) texts += ",";
        texts += JsonString(OwnText(child));
      }
      out += ",\"pid\":" + std::to_string(pid) + ",\"class\":" +
             JsonString(ClassOf(other_)) + ",\"caption\":" +
             JsonString(OwnText(other_)) + ",\"texts\":" + texts + "]" +
             ",\"buttons\":" + ButtonIds(other_);
    } else if (name == L"no-window") {
      need(2);
      ExpectNoText(command[1], static_cast<DWORD>(ParseInt(command[2])));
    } else if (name == L"close-window") {
      if (command.size() > 2) throw Failure{"close-window takes at most 1 argument"};
      if (other_ == nullptr || !::IsWindow(other_)) throw Failure{"no window found"};
      HWND button = nullptr;
      if (command.size() == 2) {
        button = ::GetDlgItem(other_, ParseInt(command[1]));
        if (button == nullptr) throw Failure{"the window has no such button"};
      }
      const bool posted = button ? ::PostMessageW(button, BM_CLICK, 0, 0)
                                 : ::PostMessageW(other_, WM_CLOSE, 0, 0);
      if (!posted) throw Failure{"could not post the close"};
      const DWORD start = ::GetTickCount();
      while (::IsWindow(other_) && ::IsWindowVisible(other_)) {
        if (::GetTickCount() - start > timeout_ms_) throw Failure{"the window stayed"};
        ::Sleep(kPollMs);
      }
    } else if (name == L"pause") {
      need(0);
      Emit(out + "}");
      char line[256];
      if (!std::fgets(line, sizeof line, stdin)) throw Failure{"standard input closed"};
      return;
    } else {
      throw Failure{"unknown command " + Narrow(name)};
    }
    Emit(out + "}");
  }

 private:
  HWND WaitForWindow(HWND owner, const char* what) {
    const DWORD start = ::GetTickCount();
    for (;;) {
      FindRequest request = {process_.dwProcessId, owner, nullptr};
      ::EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&request));
      if (request.found) return request.found;
      DWORD status = 0;
      if (::GetExitCodeProcess(process_.hProcess, &status) && status != STILL_ACTIVE)
        throw Failure{std::string("the process ended with status ") +
                      std::to_string(status) + " before its " + what + " appeared"};
      if (::GetTickCount() - start > timeout_ms_)
        throw Failure{std::string("no ") + what + " appeared"};
      ::Sleep(kPollMs);
    }
  }

  HWND FindText(const std::wstring& text) {
    TextRequest request = {Lower(text), dialog_, nullptr};
    ::EnumWindows(FindWindowWithText, reinterpret_cast<LPARAM>(&request));
    return request.found;
  }

  HWND WaitForText(const std::wstring& text) {
    const DWORD start = ::GetTickCount();
    for (;;) {
      if (HWND found = FindText(text)) return found;
      if (::GetTickCount() - start > timeout_ms_)
        throw Failure{"no window with the text " + Narrow(text) + " appeared"};
      ::Sleep(kPollMs);
    }
  }

  void ExpectNoText(const std::wstring& text, DWORD wait_ms) {
    const DWORD start = ::GetTickCount();
    for (;;) {
      if (FindText(text)) throw Failure{"a window with the text " + Narrow(text) + " is there"};
      if (::GetTickCount() - start > wait_ms) return;
      ::Sleep(kPollMs);
    }
  }

  void RequireDialog() {
    if (dialog_ == nullptr || !::IsWindow(dialog_)) throw Failure{"no dialog"};
  }

  HWND Control(int id) {
    RequireDialog();
    HWND control = ::GetDlgItem(dialog_, id);
    if (control == nullptr) throw Failure{"no control " + std::to_string(id)};
    return control;
  }

  std::string FocusId() {
    RequireDialog();
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    const DWORD thread = ::GetWindowThreadProcessId(dialog_, nullptr);
    if (!::GetGUIThreadInfo(thread, &info)) throw Failure{"GetGUIThreadInfo failed"};
    if (info.hwndFocus == nullptr) return "null";
    if (info.hwndFocus == dialog_) return "0";
    return std::to_string(::GetDlgCtrlID(info.hwndFocus));
  }

  std::string Geometry() {
    RequireDialog();
    RECT window, client, work, monitor_work = {};
    ::GetWindowRect(dialog_, &window);
    ::GetClientRect(dialog_, &client);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (::GetMonitorInfoW(::MonitorFromWindow(dialog_, MONITOR_DEFAULTTOPRIMARY),
                          &monitor))
      monitor_work = monitor.rcWork;
    const LONG style = ::GetWindowLongW(dialog_, GWL_STYLE);
    const LONG ex_style = ::GetWindowLongW(dialog_, GWL_EXSTYLE);
    char styles[64];
    std::snprintf(styles, sizeof styles, ",\"style\":%lu,\"exstyle\":%lu",
                  static_cast<unsigned long>(style), static_cast<unsigned long>(ex_style));
    return ",\"window\":" + RectJson(window) + ",\"client\":" + RectJson(client) +
           ",\"workarea\":" + RectJson(work) + ",\"monitor_work\":" +
           RectJson(monitor_work) + styles +
           ",\"iconic\":" + (::IsIconic(dialog_) ? "true" : "false");
  }

  std::string Controls() {
    RequireDialog();
    std::string out = "[";
    for (HWND child = ::GetWindow(dialog_, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
      RECT r;
      ::GetWindowRect(child, &r);
      ::MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&r), 2);
      char numbers[160];
      std::snprintf(numbers, sizeof numbers,
                    ",\"style\":%lu,\"exstyle\":%lu,\"visible\":%s,\"rect\":",
                    static_cast<unsigned long>(::GetWindowLongW(child, GWL_STYLE)),
                    static_cast<unsigned long>(::GetWindowLongW(child, GWL_EXSTYLE)),
                    ::IsWindowVisible(child) ? "true" : "false");
      if (out.size() > 1) out += ",";
      out += "{\"id\":" + std::to_string(::GetDlgCtrlID(child)) + ",\"class\":" +
             JsonString(ClassOf(child)) + ",\"text\":" +
             JsonString(ReadText(child, timeout_ms_).wide) + numbers + RectJson(r) + "}";
    }
    return out + "]";
  }

  std::string TopLevelWindows() {
    struct Collect {
      DWORD pid;
      std::vector<HWND> windows;
    } collect = {process_.dwProcessId, {}};
    // A plain function, not a lambda: a lambda has no stdcall conversion on i686.
    struct Callback {
      static BOOL CALLBACK Add(HWND window, LPARAM param) {
        auto* c = reinterpret_cast<Collect*>(param);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        if (pid == c->pid && ::IsWindowVisible(window)) c->windows.push_back(window);
        return TRUE;
      }
    };
    ::EnumWindows(&Callback::Add, reinterpret_cast<LPARAM>(&collect));
    std::string out = "[";
    for (HWND window : collect.windows) {
      if (out.size() > 1) out += ",";
      HWND owner = ::GetWindow(window, GW_OWNER);
      out += "{\"class\":" + JsonString(ClassOf(window)) + ",\"caption\":" +
             JsonString(ReadText(window, timeout_ms_).wide) + ",\"is_dialog\":" +
             (window == dialog_ ? "true" : "false") + ",\"owned_by_dialog\":" +
             (dialog_ != nullptr && owner == dialog_ ? "true" : "false") + "}";
    }
    return out + "]";
  }

  static std::string ButtonIds(HWND box) {
    std::string out = "[";
    for (HWND child = ::GetWindow(box, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
      if (ClassOf(child) != L"Button") continue;
      if (out.size() > 1) out += ",";
      out += std::to_string(::GetDlgCtrlID(child));
    }
    return out + "]";
  }

  PROCESS_INFORMATION process_;
  DWORD timeout_ms_;
  HWND dialog_ = nullptr;
  HWND box_ = nullptr;
  HWND other_ = nullptr;  // found by wait-window
};

int Usage(const std::string& why) {
  Emit("{\"cmd\":\"usage\",\"ok\":false,\"error\":" + JsonString(why) + "}");
  std::fputs(
      "usage: ui_driver [--timeout MS] [--cwd DIR] -- PROGRAM [ARG...] "
      "[: COMMAND [ARG...]]...\n",
      stderr);
  return 2;
}

std::wstring QuoteIfNeeded(const std::wstring& word) {
  if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos) return word;
  return L"\"" + word + L"\"";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // A test run has nobody to click away a system error box.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX |
                 SEM_NOOPENFILEERRORBOX);

  DWORD timeout_ms = 20000;
  std::wstring cwd;
  int i = 1;
  for (; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--") {
      ++i;
      break;
    }
    if (arg == L"--timeout" && i + 1 < argc) {
      timeout_ms = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
    } else if (arg == L"--cwd" && i + 1 < argc) {
      cwd = argv[++i];
    } else if (arg.rfind(L"--", 0) == 0) {
      return Usage("unknown option " + Narrow(arg));
    } else {
      break;  // the program
    }
  }
  if (i >= argc) return Usage("no program given");

  // The program's own command line: its arguments up to the first ":",
  // joined with single spaces exactly as given.
  std::wstring command_line = QuoteIfNeeded(argv[i++]);
  for (; i < argc && std::wcscmp(argv[i], L":") != 0; ++i)
    command_line += L" " + std::wstring(argv[i]);
  std::vector<std::vector<std::wstring>> script;
  for (; i < argc; ++i) {
    if (std::wcscmp(argv[i], L":") == 0) {
      script.emplace_back();
    } else {
      script.back().push_back(argv[i]);
    }
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::vector<wchar_t> writable(command_line.begin(), command_line.end());
  writable.push_back(L'\0');
  // CREATE_DEFAULT_ERROR_MODE: setup.exe must set its quiet error mode
  // itself; it must not inherit ours.
  if (!::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE,
                        CREATE_DEFAULT_ERROR_MODE, nullptr,
                        cwd.empty() ? nullptr : cwd.c_str(), &startup, &process)) {
    Emit("{\"cmd\":\"start\",\"ok\":false,\"error\":\"CreateProcess failed, error " +
         std::to_string(::GetLastError()) + "\"}");
    return 1;
  }
  Emit("{\"cmd\":\"start\",\"ok\":true,\"pid\":" + std::to_string(process.dwProcessId) +
       ",\"acp\":" + std::to_string(::GetACP()) + ",\"cmdline\":" +
       JsonString(command_line) + "}");

  Driver driver(process, timeout_ms);
  for (const auto& command : script) {
    if (command.empty()) continue;
    try {
      driver.Run(command);
    } catch (const Failure& failure) {
      Emit("{\"cmd\":" + JsonString(command[0]) + ",\"ok\":false,\"error\":" +
           JsonString(failure.message) + "}");
      return 1;
    }
  }
  return 0;
}
