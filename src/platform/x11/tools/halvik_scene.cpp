// Sets the generated scene as the X root background and ends; the background stays.
// Usage: halvik_scene [--no-property | --probe]
//   --no-property  set only the root's background, without _XROOTPMAP_ID
//   --probe        only tell (by the exit code) whether the display can be opened
#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>

#include "platform/x11/tools/Scene.h"

int main(int argc, char** argv) {
  bool probe = false, property = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--probe") == 0) probe = true;
    else if (std::strcmp(argv[i], "--no-property") == 0) property = false;
    else {
      std::fprintf(stderr, "usage: %s [--no-property | --probe]\n", argv[0]);
      return 2;
    }
  }
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    if (!probe) std::fprintf(stderr, "halvik_scene: cannot open the X display\n");
    return 1;
  }
  int rc = 0;
  if (!probe && !halvik::x11::SetRootScene(dpy, property, true)) {
    std::fprintf(stderr, "halvik_scene: the screen's visual is not TrueColor\n");
    rc = 1;
  }
  XCloseDisplay(dpy);
  return rc;
}
