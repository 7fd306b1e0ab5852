// X protocol errors are never fatal here. Outside a trap they are reported on stderr; inside
// a trap (a screen copy, where windows may vanish at any moment) they are only counted.
#pragma once

#include <X11/Xlib.h>

namespace halvik::x11 {

// Installs the process's X error handler (once; later calls do nothing).
void InstallErrorHandler();

// Counts the errors that arrive while it lives; XSync on destruction or Errors() makes sure the
// requests made so far have been answered.
class TErrorTrap {
 public:
  explicit TErrorTrap(Display* Dpy);
  ~TErrorTrap();
  TErrorTrap(const TErrorTrap&) = delete;
  TErrorTrap& operator=(const TErrorTrap&) = delete;
  // Errors so far, after a round trip.
  int Errors();
  // Errors so far without a round trip (those whose requests have been answered already).
  int ErrorsSeen() const;

 private:
  Display* dpy_;
  int before_;
};

}  // namespace halvik::x11
