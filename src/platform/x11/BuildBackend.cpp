// The back end of a build for X11: the display named by $DISPLAY.
#include <cstdio>
#include <cstdlib>

#include "platform/core/Forms.h"
#include "platform/x11/X11Backend.h"

namespace halvik {

std::unique_ptr<TPlatformBackend> CreateBuildBackend() {
  try {
    return std::make_unique<x11::TX11Backend>();
  } catch (const std::exception& e) {
    // Without a display there is no window to show the error in.
    std::fprintf(stderr, "halvik: %s\n", e.what());
    std::exit(1);
  }
}

}  // namespace halvik
