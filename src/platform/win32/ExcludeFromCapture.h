// Keeps a window out of screen copies where Windows can (Windows 10 2004 and later): on a
// composited desktop a screen BitBlt includes layered windows, and the window would blur its
// own picture. Elsewhere it does nothing; a failure is ignored.
#pragma once

#include "platform/win32/Win32Api.h"

namespace halvik::win32 {

void ExcludeFromCapture(HWND Window);

}  // namespace halvik::win32
