// The back end of the Windows build: the real user32, gdi32 and kernel32.
#include "platform/core/Forms.h"
#include "platform/win32/Win32Backend.h"

namespace halvik {

std::unique_ptr<TPlatformBackend> CreateBuildBackend() { return std::make_unique<win32::TWin32Backend>(); }

}  // namespace halvik
