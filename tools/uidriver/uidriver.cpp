// uidriver: drives a running SETUP.EXE from outside, as a user would, and
// reports what it sees. Each argument is one step; the first failing step
// ends the run with exit code 1.
//
//   wait-page NAME         wait until the page of that name (Start, Locatie,
//                          ProxySettings, ..., Einde, Abort) is shown
//   click TEXT             press the visible button with that caption
//   tick TEXT              tick the check box with that caption
//   type LABEL TEXT        type TEXT, key by key, into the field beside LABEL
//   drive LETTER           pick that drive in the drive list
//   error TEXT             expect the error box with exactly TEXT, and close it
//   error-any              print the error box's text, and close it
//   confirm yes|no|escape  answer the confirmation dialog
//   expect-dialog CAPTION TEXT BUTTONS
//                          expect a dialog (the error box or the question)
//                          with that caption, text and button captions, the
//                          latter joined by "|"; it stays open
//   key KEY                press a key where the wizard (or its open dialog)
//                          has the keyboard focus, and wait until it has
//                          been handled: Tab, Enter, Esc, Space, Up, Down,
//                          Left, Right, Alt+LETTER, or else text, typed
//                          character by character
//   expect-focus TEXT      the control with the keyboard focus has that text
//   snap FILE.bmp          save the open dialog as it is on the screen
//   state                  print the page, the front button, Cancel and Next
//   expect-state STATE     the same as one line, compared with STATE
//   wait-closed            wait until the wizard has gone
//   sleep MS
//   probe UNTIL [MS]       poll the wizard every 20 ms while it installs:
//                          each poll must be answered within a second
//                          (SendMessageTimeoutW with SMTO_ABORTIFHUNG, as
//                          Windows judges a hung window) and the progress bar
//                          (PBM_GETPOS) may never fall. UNTIL is a page name
//                          (the poll ends when it is shown, failing after MS
//                          when given), bar=N (the bar at N or more) or
//                          for=N (N milliseconds). Prints the polls, the
//                          longest answer and the bar's last position.
//   click-now TEXT         post a click to that button without waiting
//   close-box              close the wizard as its close box does
//   end-session            ask the wizard, as Windows does at shut-down,
//                          whether the session may end (printing its
//                          answer), then tell it that it ends all the same
//
// Texts use \r and \n for line breaks. The wizard is found by its caption,
// the page shown by the name its page window carries.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cwctype>
#include <string>
#include <vector>

#include "controls/notebook.h"

namespace {

const wchar_t kCaption[] = L"Programma - Setup";
constexpr DWORD kTimeoutMs = 60000;

// An argument with its \r and \n turned into line breaks.
std::wstring Unescape(const std::wstring& text) {
  std::wstring unescaped;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\\' && i + 1 < text.size() && (text[i + 1] == L'r' || text[i + 1] == L'n')) {
      unescaped += text[++i] == L'r' ? L'\r' : L'\n';
    } else {
      unescaped += text[i];
    }
  }
  return unescaped;
}

std::string Narrow(const std::wstring& text) {
  std::wstring escaped;
  for (wchar_t c : text) {
    if (c == L'\r') {
      escaped += L"\\r";
    } else if (c == L'\n') {
      escaped += L"\\n";
    } else {
      escaped += c;
    }
  }
  const int n = WideCharToMultiByte(CP_UTF8, 0, escaped.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, escaped.c_str(), -1, out.data(), n, nullptr, nullptr);
  return out;
}

// Read without sending a message: while the wizard installs, its thread
// answers none.
std::wstring WindowText(HWND hwnd) {
  wchar_t buffer[4096];
  const int n = InternalGetWindowText(hwnd, buffer, 4096);
  return std::wstring(buffer, static_cast<size_t>(n > 0 ? n : 0));
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buffer[256];
  const int n = GetClassNameW(hwnd, buffer, 256);
  return std::wstring(buffer, static_cast<size_t>(n));
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> found;
  EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

template <typename Predicate>
bool WaitFor(Predicate ready, DWORD timeout = kTimeoutMs) {
  const DWORD start = GetTickCount();
  while (!ready()) {
    if (GetTickCount() - start > timeout)
      return false;
    Sleep(50);
  }
  return true;
}

HWND Wizard() {
  return FindWindowW(nullptr, kCaption);
}

HWND VisibleChildWithText(HWND wizard, const std::wstring& text, const wchar_t* className) {
  for (HWND hwnd : Descendants(wizard)) {
    if (IsWindowVisible(hwnd) && WindowText(hwnd) == text &&
        (className == nullptr || lstrcmpiW(ClassOf(hwnd).c_str(), className) == 0)) {
      return hwnd;
    }
  }
  return nullptr;
}

// The name of the page shown: the text of the visible page window inside
// the page container.
std::wstring CurrentPage(HWND wizard) {
  for (HWND hwnd : Descendants(wizard)) {
    if (IsWindowVisible(hwnd) && ClassOf(GetParent(hwnd)) == zephora::TNotebook::kClassName)
      return WindowText(hwnd);
  }
  return L"?";
}

// A visible top-level window of the wizard's process other than the wizard:
// the error box or the confirmation dialog.
HWND FindDialog(HWND wizard) {
  struct Search {
    HWND wizard;
    DWORD process;
    HWND found;
  } search{wizard, 0, nullptr};
  GetWindowThreadProcessId(wizard, &search.process);
  EnumWindows(
      [](HWND hwnd, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD process = 0;
        GetWindowThreadProcessId(hwnd, &process);
        if (hwnd == s->wizard || process != s->process || !IsWindowVisible(hwnd))
          return TRUE;
        s->found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The longest static text of a dialog: its message.
std::wstring DialogMessage(HWND dialog) {
  std::wstring message;
  for (HWND hwnd : Descendants(dialog)) {
    if (lstrcmpiW(ClassOf(hwnd).c_str(), L"Static") == 0) {
      const std::wstring text = WindowText(hwnd);
      if (text.size() > message.size())
        message = text;
    }
  }
  return message;
}

// The captions of a dialog's buttons in their order, joined by "|".
std::wstring DialogButtons(HWND dialog) {
  std::wstring buttons;
  for (HWND hwnd : Descendants(dialog)) {
    if (lstrcmpiW(ClassOf(hwnd).c_str(), L"Button") == 0 && IsWindowVisible(hwnd)) {
      buttons += (buttons.empty() ? L"" : L"|") + WindowText(hwnd);
    }
  }
  return buttons;
}

HWND WaitForDialog(HWND wizard) {
  HWND dialog = nullptr;
  WaitFor(
      [&] { return (dialog = FindDialog(wizard)) != nullptr && !DialogMessage(dialog).empty(); });
  return dialog;
}

// Writes what the screen shows of `window` as a 24-bit bitmap file.
bool SaveWindowImage(HWND window, const std::wstring& path) {
  RECT r{};
  GetWindowRect(window, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0)
    return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, previous);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // rows from the bottom up, as the file keeps them
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<char> pixels(static_cast<size_t>(stride) * static_cast<size_t>(height));
  const int rows = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                             reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (rows != height)
    return false;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
  bytes.append(pixels.data(), pixels.size());
  HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE)
    return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size();
  CloseHandle(out);
  return ok;
}

bool PressButton(HWND button) {
  if (button == nullptr || !IsWindowEnabled(button))
    return false;
  PostMessageW(button, BM_CLICK, 0, 0);
  return true;
}

HWND FrontOf(HWND a, HWND b) {
  for (HWND hwnd = GetWindow(GetParent(a), GW_CHILD); hwnd; hwnd = GetWindow(hwnd, GW_HWNDNEXT)) {
    if (hwnd == a || hwnd == b)
      return hwnd;
  }
  return nullptr;
}

std::wstring State(HWND wizard) {
  HWND next = nullptr, finish = nullptr, cancel = nullptr;
  for (HWND hwnd : Descendants(wizard)) {
    const std::wstring text = WindowText(hwnd);
    if (text == L"Volgende >")
      next = hwnd;
    if (text == L"Voltooien")
      finish = hwnd;
    if (text == L"&Annuleer")
      cancel = hwnd;
  }
  std::wstring state = L"page=" + CurrentPage(wizard);
  state += L" front=";
  state += next && finish ? (FrontOf(next, finish) == next ? L"Next" : L"Finish") : L"?";
  state += L" cancel=";
  state += cancel && IsWindowVisible(cancel) ? L"visible" : L"hidden";
  state += L" next=";
  state += next && IsWindowEnabled(next) ? L"enabled" : L"disabled";
  return state;
}

// The window of the wizard's thread that has the keyboard focus, or its
// active window when none has.
HWND FocusOf(HWND wizard) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(wizard, nullptr), &info))
    return wizard;
  if (info.hwndFocus != nullptr)
    return info.hwndFocus;
  return info.hwndActive != nullptr ? info.hwndActive : wizard;
}

// Returns once the wizard's thread has taken every message posted to it so
// far from its queue and handled it: a message sent to it is answered the
// next time it looks for messages, before it takes a posted one, so the
// second answer comes after the posted message was handled. A run that
// keeps the thread busy is waited for.
void WaitUntilHandled(HWND wizard) {
  for (int i = 0; i < 2; ++i) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(wizard, WM_NULL, 0, 0, SMTO_NORMAL, kTimeoutMs, &ignored);
  }
}

// The messages a keystroke gives the window with the focus, as the
// system's keyboard input would: key down and key up; the wizard's message
// loop makes the character of it, as it does of a real keystroke. Each is
// handled before the next is posted, since each may move the focus. A
// character no key of the layout gives comes as the character alone.
void PressKey(HWND wizard, UINT key, bool alt) {
  const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
  const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16) | (alt ? (1 << 29) : 0);
  const LPARAM up = down | (static_cast<LPARAM>(3) << 30);
  PostMessageW(FocusOf(wizard), alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, down);
  WaitUntilHandled(wizard);
  PostMessageW(FocusOf(wizard), alt ? WM_SYSKEYUP : WM_KEYUP, key, up);
  WaitUntilHandled(wizard);
}

void TypeCharacter(HWND wizard, wchar_t character) {
  const SHORT key = VkKeyScanW(character);
  if (key != -1 && HIBYTE(key) == 0) {
    PressKey(wizard, LOBYTE(key), false);
  } else {
    PostMessageW(FocusOf(wizard), WM_CHAR, character, 1);
    WaitUntilHandled(wizard);
  }
}

bool PressNamedKey(HWND wizard, const std::wstring& name) {
  struct Named {
    const wchar_t* name;
    UINT key;
  };
  static const Named keys[] = {
      {L"Tab", VK_TAB}, {L"Enter", VK_RETURN}, {L"Esc", VK_ESCAPE}, {L"Space", VK_SPACE},
      {L"Up", VK_UP},   {L"Down", VK_DOWN},    {L"Left", VK_LEFT},  {L"Right", VK_RIGHT},
  };
  for (const Named& named : keys) {
    if (name == named.name) {
      PressKey(wizard, named.key, false);
      return true;
    }
  }
  if (name.size() == 5 && name.compare(0, 4, L"Alt+") == 0) {
    PressKey(wizard, static_cast<UINT>(towupper(name[4])), true);
    return true;
  }
  return false;
}

// What the probes saw over the whole session.
struct ProbeLog {
  int polls = 0;
  DWORD longestMs = 0;
  LRESULT lastPosition = -1;
};
ProbeLog probeLog;

HWND ProgressBarOf(HWND wizard) {
  for (HWND hwnd : Descendants(wizard)) {
    if (lstrcmpiW(ClassOf(hwnd).c_str(), L"msctls_progress32") == 0)
      return hwnd;
  }
  return nullptr;
}

// One poll: false when the wizard did not answer within a second, or its
// bar fell.
bool Poll(HWND wizard, std::string& problem) {
  const DWORD start = GetTickCount();
  DWORD_PTR result = 0;
  if (SendMessageTimeoutW(wizard, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result) == 0) {
    problem = "the wizard did not answer within a second";
    return false;
  }
  const DWORD took = GetTickCount() - start;
  ++probeLog.polls;
  if (took > probeLog.longestMs)
    probeLog.longestMs = took;
  const HWND bar = ProgressBarOf(wizard);
  DWORD_PTR position = 0;
  if (bar != nullptr &&
      SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &position) != 0) {
    if (static_cast<LRESULT>(position) < probeLog.lastPosition) {
      problem = "the bar fell from " + std::to_string(probeLog.lastPosition) + " to " +
                std::to_string(position);
      return false;
    }
    probeLog.lastPosition = static_cast<LRESULT>(position);
  }
  return true;
}

bool Fail(const std::string& message) {
  std::printf("FAIL %s\n", message.c_str());
  std::fflush(stdout);
  return false;
}

bool Step(HWND wizard, const std::vector<std::wstring>& args, size_t& i) {
  const std::wstring verb = args[i++];
  auto need = [&](size_t count) { return i + count <= args.size(); };
  if (verb == L"wait-page" && need(1)) {
    const std::wstring title = args[i++];
    if (!WaitFor([&] { return CurrentPage(wizard) == title; })) {
      return Fail("page " + Narrow(title) + " never shown; " + Narrow(State(wizard)));
    }
    std::printf("page: %s\n", Narrow(title).c_str());
  } else if (verb == L"click" && need(1)) {
    const std::wstring caption = args[i++];
    HWND button = nullptr;
    if (!WaitFor(
            [&] {
              return (button = VisibleChildWithText(wizard, caption, L"Button")) != nullptr &&
                     IsWindowEnabled(button);
            },
            5000)) {
      return Fail("no enabled button " + Narrow(caption));
    }
    PressButton(button);
  } else if (verb == L"tick" && need(1)) {
    HWND box = VisibleChildWithText(wizard, args[i++], L"Button");
    if (box == nullptr)
      return Fail("no check box");
    if (SendMessageW(box, BM_GETCHECK, 0, 0) != BST_CHECKED)
      PressButton(box);
    WaitFor([&] { return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }, 5000);
  } else if (verb == L"type" && need(2)) {
    HWND label = VisibleChildWithText(wizard, args[i++], L"Static");
    const std::wstring text = args[i++];
    if (label == nullptr)
      return Fail("no label");
    RECT labelRect;
    GetWindowRect(label, &labelRect);
    HWND field = nullptr;
    for (HWND hwnd : Descendants(wizard)) {
      RECT r;
      GetWindowRect(hwnd, &r);
      if (IsWindowVisible(hwnd) && lstrcmpiW(ClassOf(hwnd).c_str(), L"Edit") == 0 &&
          std::abs((r.top + r.bottom) / 2 - (labelRect.top + labelRect.bottom) / 2) < 12) {
        field = hwnd;
      }
    }
    if (field == nullptr)
      return Fail("no field beside the label");
    SendMessageW(field, WM_SETFOCUS, 0, 0);
    SendMessageW(field, EM_SETSEL, 0, -1);
    SendMessageW(field, WM_CHAR, VK_BACK, 0);
    for (wchar_t c : text)
      SendMessageW(field, WM_CHAR, c, 0);
    SendMessageW(field, WM_KILLFOCUS, 0, 0);
  } else if (verb == L"drive" && need(1)) {
    const std::wstring wanted = L"(" + args[i++] + L":)";
    HWND combo = nullptr;
    for (HWND hwnd : Descendants(wizard)) {
      if (lstrcmpiW(ClassOf(hwnd).c_str(), L"ComboBox") == 0)
        combo = hwnd;
    }
    if (combo == nullptr)
      return Fail("no drive list");
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT item = 0; item < count; ++item) {
      wchar_t buffer[300] = {};
      if (SendMessageW(combo, CB_GETLBTEXTLEN, item, 0) >= 300)
        continue;
      SendMessageW(combo, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(buffer));
      if (std::wstring(buffer).find(wanted) != std::wstring::npos) {
        SendMessageW(combo, CB_SETCURSEL, item, 0);
        SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
        std::printf("drive: %s\n", Narrow(buffer).c_str());
        return true;
      }
    }
    std::string listed;
    for (LRESULT item = 0; item < count; ++item) {
      wchar_t buffer[300] = {};
      SendMessageW(combo, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(buffer));
      listed += " [" + Narrow(buffer) + "]";
    }
    return Fail("drive " + Narrow(wanted) + " not listed; the list:" + listed);
  } else if ((verb == L"error" && need(1)) || verb == L"error-any") {
    const std::wstring expected = verb == L"error" ? args[i++] : L"";
    HWND box = nullptr;
    if (!WaitFor(
            [&] { return (box = FindDialog(wizard)) != nullptr && !DialogMessage(box).empty(); })) {
      return Fail("no error box; " + Narrow(State(wizard)));
    }
    const std::wstring message = DialogMessage(box);
    std::printf("error [%s]: %s\n", Narrow(WindowText(box)).c_str(), Narrow(message).c_str());
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000);
    if (verb == L"error" && message != expected) {
      return Fail("expected error " + Narrow(expected));
    }
  } else if (verb == L"confirm" && need(1)) {
    const std::wstring answer = args[i++];
    HWND dialog = nullptr;
    if (!WaitFor([&] { return (dialog = FindDialog(wizard)) != nullptr; })) {
      return Fail("no confirmation dialog");
    }
    std::printf("confirm [%s]: %s\n", Narrow(WindowText(dialog)).c_str(),
                Narrow(DialogMessage(dialog)).c_str());
    if (answer == L"escape") {
      SetForegroundWindow(dialog);
      PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    } else if (!PressButton(GetDlgItem(dialog, answer == L"yes" ? IDYES : IDNO))) {
      return Fail("no button " + Narrow(answer));
    }
    WaitFor([&] { return !IsWindow(dialog); }, 10000);
  } else if (verb == L"expect-dialog" && need(3)) {
    const std::wstring caption = args[i++], text = args[i++], buttons = args[i++];
    const HWND dialog = WaitForDialog(wizard);
    if (dialog == nullptr)
      return Fail("no dialog; " + Narrow(State(wizard)));
    // Give the dialog a moment to show its final captions and to be drawn.
    Sleep(500);
    const std::wstring seen = L"[" + WindowText(dialog) + L"]: " + DialogMessage(dialog) + L" {" +
                              DialogButtons(dialog) + L"}";
    std::printf("dialog %s\n", Narrow(seen).c_str());
    if (seen != L"[" + caption + L"]: " + text + L" {" + buttons + L"}")
      return Fail("expected dialog [" + Narrow(caption) + "]: " + Narrow(text) + " {" +
                  Narrow(buttons) + "}");
  } else if (verb == L"key" && need(1)) {
    const std::wstring key = args[i++];
    if (!PressNamedKey(wizard, key)) {
      for (wchar_t c : key)
        TypeCharacter(wizard, c);
    }
    std::printf("key: %s\n", Narrow(key).c_str());
  } else if (verb == L"expect-focus" && need(1)) {
    const std::wstring expected = args[i++];
    HWND focus = nullptr;
    if (!WaitFor([&] { return WindowText(focus = FocusOf(wizard)) == expected; }, 10000)) {
      return Fail("the focus is on [" + Narrow(ClassOf(focus)) + "] " + Narrow(WindowText(focus)) +
                  ", expected " + Narrow(expected));
    }
    std::printf("focus: %s\n", Narrow(expected).c_str());
  } else if (verb == L"snap" && need(1)) {
    const std::wstring path = args[i++];
    const HWND dialog = WaitForDialog(wizard);
    if (dialog == nullptr || !SaveWindowImage(dialog, path))
      return Fail("cannot save the dialog as " + Narrow(path));
    std::printf("snap: %s\n", Narrow(path).c_str());
  } else if (verb == L"state") {
    std::printf("state: %s\n", Narrow(State(wizard)).c_str());
  } else if (verb == L"expect-state" && need(1)) {
    const std::wstring expected = args[i++];
    if (!WaitFor([&] { return State(wizard) == expected; }, 10000)) {
      return Fail("state is " + Narrow(State(wizard)) + ", expected " + Narrow(expected));
    }
    std::printf("state: %s\n", Narrow(expected).c_str());
  } else if (verb == L"wait-closed") {
    if (!WaitFor([&] { return !IsWindow(wizard); }))
      return Fail("wizard still open");
    std::printf("closed\n");
  } else if (verb == L"probe" && need(1)) {
    const std::wstring until = args[i++];
    DWORD limit = kTimeoutMs * 2;
    if (i < args.size() && !args[i].empty() && iswdigit(args[i][0]))
      limit = static_cast<DWORD>(_wtoi(args[i++].c_str()));
    const DWORD start = GetTickCount();
    for (;;) {
      std::string problem;
      if (!Poll(wizard, problem))
        return Fail(problem + "; " + Narrow(State(wizard)));
      const DWORD elapsed = GetTickCount() - start;
      bool done = false;
      if (until.rfind(L"bar=", 0) == 0) {
        done = probeLog.lastPosition >= _wtoi(until.c_str() + 4);
      } else if (until.rfind(L"for=", 0) == 0) {
        done = elapsed >= static_cast<DWORD>(_wtoi(until.c_str() + 4));
        limit = elapsed + 1;
      } else {
        done = CurrentPage(wizard) == until;
      }
      if (done) {
        // The bar as it stands now: the page may have changed after it was read.
        if (!Poll(wizard, problem))
          return Fail(problem + "; " + Narrow(State(wizard)));
        std::printf("probe %s: %lu ms, %d polls in all, longest answer %lu ms, bar %ld\n",
                    Narrow(until).c_str(), elapsed, probeLog.polls, probeLog.longestMs,
                    static_cast<long>(probeLog.lastPosition));
        break;
      }
      if (elapsed > limit)
        return Fail("probe " + Narrow(until) + " not reached in " + std::to_string(limit) +
                    " ms; " + Narrow(State(wizard)));
      Sleep(20);
    }
  } else if (verb == L"end-session") {
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutW(wizard, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                            5000, &answer) == 0) {
      return Fail("no answer to WM_QUERYENDSESSION");
    }
    std::printf("may end: %s\n", answer != 0 ? "yes" : "no");
    if (SendMessageTimeoutW(wizard, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000,
                            &answer) == 0) {
      return Fail("no answer to WM_ENDSESSION");
    }
  } else if (verb == L"close-box") {
    PostMessageW(wizard, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else if (verb == L"click-now" && need(1)) {
    HWND button = VisibleChildWithText(wizard, args[i++], L"Button");
    if (!PressButton(button))
      return Fail("no enabled button");
  } else if (verb == L"sleep" && need(1)) {
    Sleep(static_cast<DWORD>(_wtoi(args[i++].c_str())));
  } else {
    return Fail("unknown or incomplete step " + Narrow(verb));
  }
  std::fflush(stdout);
  return true;
}

}  // namespace

// Wide arguments: narrow ones come in the ANSI code page, which cannot hold
// every text of the catalogs.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i)
    args.push_back(Unescape(argv[i]));
  HWND wizard = nullptr;
  if (!WaitFor([&] { return (wizard = Wizard()) != nullptr; })) {
    Fail("no wizard window");
    return 1;
  }
  for (size_t i = 0; i < args.size();) {
    if (!Step(wizard, args, i))
      return 1;
  }
  return 0;
}
