#include "platform/win32/Win32Backend.h"

#include <algorithm>

#include "platform/core/Exceptions.h"
#include "platform/win32/DibPixelStore.h"
#include "platform/win32/ExcludeFromCapture.h"
#include "platform/win32/Win32Api.h"

namespace halvik::win32 {

namespace {

constexpr wchar_t kAppClass[] = L"HalvikApplication";
constexpr wchar_t kFormClass[] = L"HalvikForm";

// TColor is a COLORREF, or a system colour with the top bit set.
COLORREF ToColorRef(TColor C) { return (C & 0x80000000u) ? GetSysColor(int(C & 0xFF)) : COLORREF(C & 0xFFFFFF); }

DWORD FormStyle(const TWindowParams& P) {
  DWORD style = WS_CAPTION | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  if (P.Sizeable) style |= WS_THICKFRAME;
  if (P.SystemMenu) style |= WS_SYSMENU;
  if (P.MinimizeBox) style |= WS_MINIMIZEBOX;
  if (P.MaximizeBox) style |= WS_MAXIMIZEBOX;
  return style;
}

TRect ToRect(const RECT& R) { return TRect{int(R.left), int(R.top), int(R.right), int(R.bottom)}; }

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

}  // namespace

struct TWin32Backend::TWin {
  HWND Hwnd = nullptr;
  TWindowListener* Listener = nullptr;
  HBRUSH Background = nullptr;
  bool Live = false;        // created: messages reach the listener
  bool StayOnTop = false;
  TWindowState State = TWindowState::wsNormal;
  TRect Normal;             // normal-state outer bounds, as the program last set or the user left them
};

// The window procedures: they find their back end (or window) in the window's user data.
struct TWin32Messages {
  static TWin32Backend* BackendOf(HWND H) { return reinterpret_cast<TWin32Backend*>(GetWindowLongPtrW(H, GWLP_USERDATA)); }

  static LRESULT CALLBACK AppProc(HWND H, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_NCCREATE) {
      SetWindowLongPtrW(H, GWLP_USERDATA, LONG_PTR(reinterpret_cast<CREATESTRUCTW*>(L)->lpCreateParams));
      return DefWindowProcW(H, Msg, W, L);
    }
    TWin32Backend* b = BackendOf(H);
    if (b == nullptr) return DefWindowProcW(H, Msg, W, L);
    switch (Msg) {
      case WM_TIMER: {
        auto it = b->timers_.find(uintptr_t(W));
        if (it == b->timers_.end()) return 0;
        const std::function<void()> handler = it->second;  // the handler may stop its own timer
        b->Guard(handler);
        return 0;
      }
      case WM_SYSCOMMAND:
        switch (W & 0xFFF0) {
          case SC_MINIMIZE:
            b->MinimizeFromUser();
            return 0;
          case SC_RESTORE: {
            const bool was_minimized = IsIconic(H);
            DefWindowProcW(H, Msg, W, L);
            if (was_minimized && b->app_listener_) b->Guard([b] { b->app_listener_->ApplicationRestore(); });
            return 0;
          }
        }
        break;
      case WM_CLOSE:
        // Closing the taskbar entry closes the main form, the first one made.
        if (!b->windows_.empty() && b->windows_.front()->Live) {
          TWindowListener* l = b->windows_.front()->Listener;
          b->Guard([l] { l->WindowClose(); });
        }
        return 0;
    }
    return DefWindowProcW(H, Msg, W, L);
  }

  static LRESULT CALLBACK FormProc(HWND H, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_NCCREATE) {
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(L);
      SetWindowLongPtrW(H, GWLP_USERDATA, LONG_PTR(cs->lpCreateParams));
      return DefWindowProcW(H, Msg, W, L);
    }
    TWin32Backend* b = BackendOf(H);
    TWin32Backend::TWin* w = b ? b->Find(Opaque(H)) : nullptr;
    if (w == nullptr) return DefWindowProcW(H, Msg, W, L);
    switch (Msg) {
      case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(H, &r);
        ::FillRect(reinterpret_cast<::HDC>(W), &r, w->Background);
        return 1;
      }
      case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(H, &ps);
        if (w->Live) {
          TWindowListener* l = w->Listener;
          b->Guard([l] { l->WindowPaint(); });
        }
        EndPaint(H, &ps);
        return 0;
      }
      case WM_SIZE:
        if (w->Live && W != SIZE_MINIMIZED) {
          const TWindowState now = W == SIZE_MAXIMIZED ? TWindowState::wsMaximized : TWindowState::wsNormal;
          if (now != w->State && IsWindowVisible(H)) {
            w->State = now;
            TWindowListener* l = w->Listener;
            b->Guard([l, now] { l->WindowStateChanged(now); });
          }
          b->Report(Opaque(H));
        }
        return 0;
      case WM_MOVE:
        if (w->Live) b->Report(Opaque(H));
        return 0;
      case WM_SYSCOMMAND:
        // A form is never minimized on its own: the application goes to its taskbar entry.
        if ((W & 0xFFF0) == SC_MINIMIZE) {
          b->MinimizeFromUser();
          return 0;
        }
        break;
      case WM_CLOSE:
        if (w->Live) {
          TWindowListener* l = w->Listener;
          b->Guard([l] { l->WindowClose(); });
        }
        return 0;
      case WM_DPICHANGED: {
        // Per-monitor aware: take the size Windows suggests for the new monitor's density.
        const RECT* r = reinterpret_cast<const RECT*>(L);
        SetWindowPos(H, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
      }
    }
    return DefWindowProcW(H, Msg, W, L);
  }
};

namespace {

void RegisterWindowClass(const wchar_t* Name, WNDPROC Proc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = Proc;
  wc.hInstance = Instance();
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));      // IDI_APPLICATION
  wc.lpszClassName = Name;
  // A second back end in the same process finds the class already there; that is fine.
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw EOutOfResources("Cannot register the window class: " + LastErrorText());
}

}  // namespace

TWin32Backend::TWin32Backend() {
  RegisterWindowClass(kAppClass, &TWin32Messages::AppProc);
  RegisterWindowClass(kFormClass, &TWin32Messages::FormProc);
  // Like the form, the application window has a caption (so that it has a taskbar entry),
  // but no size: it is never seen itself.
  const int cx = GetSystemMetrics(SM_CXSCREEN) / 2, cy = GetSystemMetrics(SM_CYSCREEN) / 2;
  HWND h = CreateWindowExW(0, kAppClass, L"", WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, cx,
                           cy, 0, 0, nullptr, nullptr, Instance(), this);
  if (h == nullptr) throw EOutOfResources("Cannot create the application window: " + LastErrorText());
  app_ = Opaque(h);
}

TWin32Backend::~TWin32Backend() {
  while (!windows_.empty()) DestroyFormWindow(Opaque(windows_.back()->Hwnd));
  for (const auto& [id, fn] : timers_) KillTimer(Native(app_), id);
  timers_.clear();
  SetWindowLongPtrW(Native(app_), GWLP_USERDATA, 0);
  DestroyWindow(Native(app_));
}

TWin32Backend::TWin* TWin32Backend::Find(TWindowId Window) const {
  for (const auto& w : windows_)
    if (Opaque(w->Hwnd) == Window) return w.get();
  return nullptr;
}

void TWin32Backend::Guard(const std::function<void()>& Call) {
  try {
    Call();
  } catch (const std::exception& e) {
    ShowException(e.what());
  } catch (...) {
    ShowException("An unknown error left a handler");
  }
}

// ---- Pixel stores and device contexts

std::unique_ptr<TPixelStore> TWin32Backend::CreatePixelStore(int Width, int Height, int BitsPerPixel) {
  if (BitsPerPixel != 32) return CreateMemoryPixelStore(Width, Height, BitsPerPixel);
  std::shared_ptr<TDcSet> dcs = dcs_;
  return CreateDibPixelStore(Width, Height, [dcs](halvik::HDC Dc, bool Alive) {
    if (Alive) dcs->insert(Dc);
    else dcs->erase(Dc);
  });
}

bool TWin32Backend::IsReal(HDC Dc) const {
  if (Dc == nullptr) return false;
  if (dcs_->count(Dc)) return true;
  // GDI looks the value up in its handle table; a generic context's address is no DC there.
  switch (GetObjectType(Native(Dc))) {
    case OBJ_DC:
    case OBJ_MEMDC:
    case OBJ_METADC:
    case OBJ_ENHMETADC: return true;
    default: return false;
  }
}

HDC TWin32Backend::GetDC(TWindowId Window) {
  HWND h = Native(Window);
  if (Window != 0 && !IsWindow(h)) return nullptr;
  ::HDC dc = ::GetDC(h);
  if (dc) {
    dcs_->insert(Opaque(dc));
    lent_.insert(Opaque(dc));
  }
  return Opaque(dc);
}

int TWin32Backend::ReleaseDC(TWindowId Window, HDC Dc) {
  // Only contexts that GetDC gave out are released, each once.
  if (Dc == nullptr || !lent_.erase(Dc)) return 0;
  dcs_->erase(Dc);
  return ::ReleaseDC(Native(Window), Native(Dc));
}

bool TWin32Backend::BitBlt(HDC Dst, int X, int Y, int W, int H, HDC Src, int SrcX, int SrcY, uint32_t Rop) {
  const bool dst = IsReal(Dst), src = IsReal(Src);
  if (!dst && !src) return GenericBitBlt(Dst, X, Y, W, H, Src, SrcX, SrcY, Rop);
  if (!dst || !src) return false;
  if (W <= 0 || H <= 0) return true;  // nothing to copy, as for the generic contexts
  return ::BitBlt(Native(Dst), X, Y, W, H, Native(Src), SrcX, SrcY, DWORD(Rop)) != 0;
}

bool TWin32Backend::FillRect(HDC Dc, const TRect& Rect, TColor Color) {
  if (!IsReal(Dc)) return GenericFillRect(Dc, Rect.Left, Rect.Top, Rect.Right, Rect.Bottom, Color);
  HBRUSH brush = CreateSolidBrush(ToColorRef(Color));
  if (brush == nullptr) return false;
  const RECT r{Rect.Left, Rect.Top, Rect.Right, Rect.Bottom};
  const bool ok = ::FillRect(Native(Dc), &r, brush) != 0;
  DeleteObject(brush);
  return ok;
}

// ---- Screen and application

int TWin32Backend::ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
int TWin32Backend::ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

void TWin32Backend::SetApplicationTitle(const std::string& Title) {
  title_ = Title;
  SetWindowTextW(Native(app_), Widen(Title).c_str());
}

TShowCommand TWin32Backend::StartupShowCommand() {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  GetStartupInfoW(&si);
  if (!(si.dwFlags & STARTF_USESHOWWINDOW)) return TShowCommand::Normal;
  switch (si.wShowWindow) {
    case SW_SHOWMAXIMIZED: return TShowCommand::Maximized;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE: return TShowCommand::Minimized;
    default: return TShowCommand::Normal;
  }
}

void TWin32Backend::MinimizeFromUser() {
  bool told = false;
  for (size_t i = 0; i < windows_.size(); ++i) {
    TWin& w = *windows_[i];
    if (!w.Live || !IsWindowVisible(w.Hwnd)) continue;
    w.State = TWindowState::wsMinimized;
    TWindowListener* l = w.Listener;
    Guard([l] { l->WindowStateChanged(TWindowState::wsMinimized); });
    told = true;
  }
  // Nothing shown that could answer: minimize the entry itself.
  if (!told && !IsIconic(Native(app_))) ShowWindow(Native(app_), SW_MINIMIZE);
}

// ---- Windows

TFrameMetrics TWin32Backend::FrameMetrics(const TWindowParams& Params) {
  RECT r{0, 0, 0, 0};
  AdjustWindowRectEx(&r, FormStyle(Params), FALSE, 0);
  return TFrameMetrics{int(-r.left), int(-r.top), int(r.right), int(r.bottom)};
}

TWindowId TWin32Backend::CreateFormWindow(const TWindowParams& P, TWindowListener* Listener) {
  auto w = std::make_unique<TWin>();
  w->Listener = Listener;
  w->StayOnTop = P.StayOnTop;
  w->Normal = P.Bounds;
  w->Background = CreateSolidBrush(ToColorRef(P.Color));
  if (w->Background == nullptr) throw EOutOfResources("Cannot create the window's background brush: " + LastErrorText());
  TWin* rec = w.get();
  windows_.push_back(std::move(w));
  // Created hidden and in the normal state: a window made with WS_MINIMIZE would later be
  // restored at its minimized size.
  HWND h = CreateWindowExW(0, kFormClass, Widen(P.Caption).c_str(), FormStyle(P), P.Bounds.Left, P.Bounds.Top,
                           P.Bounds.Width(), P.Bounds.Height(), Native(app_), nullptr, Instance(), this);
  if (h == nullptr) {
    const std::string why = LastErrorText();
    DeleteObject(rec->Background);
    windows_.pop_back();
    throw EOutOfResources("Cannot create the window \"" + P.Caption + "\": " + why);
  }
  rec->Hwnd = h;
  if (P.TransparentColor || P.AlphaBlend) {
    SetWindowLongPtrW(h, GWL_EXSTYLE, GetWindowLongPtrW(h, GWL_EXSTYLE) | WS_EX_LAYERED);
    const DWORD flags = (P.TransparentColor ? LWA_COLORKEY : 0) | (P.AlphaBlend ? LWA_ALPHA : 0);
    SetLayeredWindowAttributes(h, ToColorRef(P.TransparentColorValue), P.AlphaBlendValue, flags);
  }
  if (P.StayOnTop) SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ExcludeFromCapture(h);
  rec->Live = true;
  return Opaque(h);
}

void TWin32Backend::DestroyFormWindow(TWindowId Window) {
  auto it = std::find_if(windows_.begin(), windows_.end(), [&](const auto& w) { return Opaque(w->Hwnd) == Window; });
  if (it == windows_.end()) return;
  std::unique_ptr<TWin> w = std::move(*it);
  windows_.erase(it);
  // From here on the window procedure finds no record, so no message reaches the listener.
  DestroyWindow(w->Hwnd);
  DeleteObject(w->Background);
}

void TWin32Backend::Report(TWindowId Window) {
  TWin* w = Find(Window);
  if (w == nullptr || !w->Live) return;
  RECT outer, client;
  GetWindowRect(w->Hwnd, &outer);
  GetClientRect(w->Hwnd, &client);
  const TRect o = ToRect(outer);
  if (IsWindowVisible(w->Hwnd) && !IsIconic(w->Hwnd) && !IsZoomed(w->Hwnd)) w->Normal = o;
  TWindowListener* l = w->Listener;
  Guard([l, o, client] { l->WindowBoundsChanged(o, int(client.right - client.left), int(client.bottom - client.top)); });
}

void TWin32Backend::ShowFormWindow(TWindowId Window, TWindowState State) {
  TWin* w = Find(Window);
  if (w == nullptr) return;
  HWND app = Native(app_);
  if (State == TWindowState::wsMinimized) {
    w->State = State;
    ShowWindow(w->Hwnd, SW_HIDE);
    if (!IsIconic(app)) ShowWindow(app, SW_MINIMIZE);
    return;
  }
  // The entry comes back first (it owns the form); the application window itself has no size.
  if (IsIconic(app)) ShowWindow(app, SW_RESTORE);
  else if (!IsWindowVisible(app)) ShowWindow(app, SW_SHOWNOACTIVATE);
  w->State = State;
  const HWND h = w->Hwnd;
  if (State == TWindowState::wsMaximized) {
    ShowWindow(h, SW_SHOWMAXIMIZED);
  } else {
    const TRect want = w->Normal;
    ShowWindow(h, SW_SHOWNORMAL);
    // A window manager may have chosen a place of its own while showing the window; the
    // stored bounds win.
    SetWindowPos(h, w->StayOnTop ? HWND_TOPMOST : nullptr, want.Left, want.Top, want.Width(), want.Height(),
                 w->StayOnTop ? 0 : SWP_NOZORDER);
  }
  Report(Window);
}

void TWin32Backend::HideFormWindow(TWindowId Window) {
  if (TWin* w = Find(Window)) ShowWindow(w->Hwnd, SW_HIDE);
}

void TWin32Backend::SetWindowBounds(TWindowId Window, const TRect& Outer) {
  TWin* w = Find(Window);
  if (w == nullptr) return;
  w->Normal = Outer;
  if (!IsZoomed(w->Hwnd))
    SetWindowPos(w->Hwnd, nullptr, Outer.Left, Outer.Top, Outer.Width(), Outer.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32Backend::InvalidateWindow(TWindowId Window) {
  if (TWin* w = Find(Window)) InvalidateRect(w->Hwnd, nullptr, FALSE);
}

// ---- Timers and the message loop

TTimerId TWin32Backend::StartTimer(unsigned IntervalMs, std::function<void()> OnTimer) {
  const uintptr_t id = next_timer_++;
  if (SetTimer(Native(app_), id, std::max(1u, IntervalMs), nullptr) == 0)
    throw EOutOfResources("Cannot start a timer of " + std::to_string(IntervalMs) + " ms: " + LastErrorText());
  timers_[id] = std::move(OnTimer);
  return id;
}

void TWin32Backend::StopTimer(TTimerId Timer) {
  if (timers_.erase(Timer)) KillTimer(Native(app_), Timer);
}

void TWin32Backend::RunMessageLoop() {
  MSG msg;
  while (!terminate_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) break;  // WM_QUIT, or an error that would repeat
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void TWin32Backend::Terminate() {
  terminate_ = true;
  PostMessageW(Native(app_), WM_NULL, 0, 0);  // wakes GetMessage
}

void TWin32Backend::ShowException(const std::string& Message) {
  HWND owner = nullptr;
  for (const auto& w : windows_)
    if (IsWindowVisible(w->Hwnd) && !IsIconic(w->Hwnd)) { owner = w->Hwnd; break; }
  // Without a shown form to own it, the box must still come above the topmost form.
  const UINT flags = MB_OK | MB_ICONERROR | (owner ? 0 : MB_TOPMOST | MB_SETFOREGROUND);
  MessageBoxW(owner, Widen(Message).c_str(), Widen(title_.empty() ? "Error" : title_).c_str(), flags);
}

}  // namespace halvik::win32
