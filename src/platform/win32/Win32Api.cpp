#include "platform/win32/Win32Api.h"

#include <climits>

namespace halvik::win32 {

std::wstring Widen(const std::string& Text) {
  if (Text.empty() || Text.size() > size_t(INT_MAX)) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, Text.data(), int(Text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, Text.data(), int(Text.size()), out.data(), n);
  return out;
}

std::string Narrow(const std::wstring& Text) {
  if (Text.empty() || Text.size() > size_t(INT_MAX)) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, Text.data(), int(Text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Text.data(), int(Text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::string LastErrorText() {
  const DWORD code = GetLastError();
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = "error " + std::to_string(code);
  if (n > 0 && text) {
    std::wstring w(text, n);
    while (!w.empty() && (w.back() == L'\r' || w.back() == L'\n' || w.back() == L' ')) w.pop_back();
    message += ": " + Narrow(w);
  }
  if (text) LocalFree(text);
  return message;
}

}  // namespace halvik::win32
