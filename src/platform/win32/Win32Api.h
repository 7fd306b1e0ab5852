// The one place the back end includes <windows.h>, with its macros kept in check, and the
// conversions between the platform layer's opaque handles and the real ones.
// Include the project's headers before this one: <windows.h> defines names such as SRCCOPY,
// CreateWindow and GetDC as macros.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <string>

#include "platform/core/Backend.h"

namespace halvik::win32 {

// The platform layer's device context handle is the real HDC, only retyped.
inline ::HDC Native(halvik::HDC Dc) { return reinterpret_cast<::HDC>(Dc); }
inline halvik::HDC Opaque(::HDC Dc) { return reinterpret_cast<halvik::HDC>(Dc); }
inline HWND Native(TWindowId Window) { return reinterpret_cast<HWND>(Window); }
inline TWindowId Opaque(HWND Window) { return reinterpret_cast<TWindowId>(Window); }

// UTF-8 to UTF-16 and back; invalid sequences become U+FFFD.
std::wstring Widen(const std::string& Text);
std::string Narrow(const std::wstring& Text);

// The message of GetLastError's code, for error texts.
std::string LastErrorText();

}  // namespace halvik::win32
