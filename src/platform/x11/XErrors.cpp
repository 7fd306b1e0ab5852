#include "platform/x11/XErrors.h"

#include <cstdio>

namespace halvik::x11 {
namespace {

int g_trap_depth = 0;
int g_trapped_errors = 0;

int OnXError(Display* Dpy, XErrorEvent* E) {
  if (g_trap_depth > 0) {
    ++g_trapped_errors;
    return 0;
  }
  char text[256] = {};
  XGetErrorText(Dpy, E->error_code, text, sizeof text);
  std::fprintf(stderr, "halvik: X error: %s (request %d.%d, resource 0x%lx)\n", text, E->request_code,
               E->minor_code, E->resourceid);
  return 0;
}

}  // namespace

void InstallErrorHandler() {
  static const bool installed = (XSetErrorHandler(OnXError), true);
  (void)installed;
}

TErrorTrap::TErrorTrap(Display* Dpy) : dpy_(Dpy), before_(g_trapped_errors) {
  InstallErrorHandler();
  ++g_trap_depth;
}

TErrorTrap::~TErrorTrap() {
  XSync(dpy_, False);
  --g_trap_depth;
}

int TErrorTrap::Errors() {
  XSync(dpy_, False);
  return g_trapped_errors - before_;
}

int TErrorTrap::ErrorsSeen() const { return g_trapped_errors - before_; }

}  // namespace halvik::x11
