// Tells what Windows holds about a running halvik.exe's windows, one "name=value" a line, for
// the smoke test to check beside what the X server shows. Exit code 1: no form window found.
#include <cstdio>
#include <string>

#include "platform/win32/Win32Api.h"

namespace {

void Line(const char* Name, long long Value) { std::printf("%s=%lld\n", Name, Value); }

void Text(const char* Name, HWND H) {
  wchar_t text[256] = {};
  GetWindowTextW(H, text, 256);
  std::printf("%s=%s\n", Name, halvik::win32::Narrow(text).c_str());
}

}  // namespace

int main() {
  HWND app = FindWindowW(L"HalvikApplication", nullptr);
  HWND form = FindWindowW(L"HalvikForm", nullptr);
  Line("app.found", app != nullptr);
  if (app) {
    Text("app.title", app);
    Line("app.visible", IsWindowVisible(app) != 0);
    Line("app.iconic", IsIconic(app) != 0);
  }
  Line("form.found", form != nullptr);
  if (!form) return 1;
  Text("form.caption", form);
  Line("form.visible", IsWindowVisible(form) != 0);
  Line("form.iconic", IsIconic(form) != 0);
  Line("form.zoomed", IsZoomed(form) != 0);
  Line("form.owned_by_app", GetWindow(form, GW_OWNER) == app);
  RECT r, c;
  GetWindowRect(form, &r);
  GetClientRect(form, &c);
  POINT origin{0, 0};
  ClientToScreen(form, &origin);
  Line("form.left", r.left);
  Line("form.top", r.top);
  Line("form.width", r.right - r.left);
  Line("form.height", r.bottom - r.top);
  Line("form.client_left", origin.x);
  Line("form.client_top", origin.y);
  Line("form.client_width", c.right);
  Line("form.client_height", c.bottom);
  const LONG_PTR ex = GetWindowLongPtrW(form, GWL_EXSTYLE);
  Line("form.topmost", (ex & WS_EX_TOPMOST) != 0);
  Line("form.layered", (ex & WS_EX_LAYERED) != 0);
  COLORREF key = 0;
  BYTE alpha = 0;
  DWORD flags = 0;
  if (GetLayeredWindowAttributes(form, &key, &alpha, &flags)) {
    std::printf("form.key=%06lX\n", static_cast<unsigned long>(key));
    Line("form.alpha", alpha);
    Line("form.layered_flags", flags);
  }
  return 0;
}
