#include "platform/win32/ExcludeFromCapture.h"

namespace halvik::win32 {

void ExcludeFromCapture(HWND Window) {
  // Looked up at run time: older systems lack the entry or the affinity value.
  using TSetAffinity = BOOL(WINAPI*)(HWND, DWORD);
  constexpr DWORD kExcludeFromCapture = 0x00000011;  // WDA_EXCLUDEFROMCAPTURE
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return;
  FARPROC entry = GetProcAddress(user32, "SetWindowDisplayAffinity");
  if (entry == nullptr) return;
  auto set_affinity = reinterpret_cast<TSetAffinity>(reinterpret_cast<void (*)()>(entry));
  (void)set_affinity(Window, kExcludeFromCapture);
}

}  // namespace halvik::win32
