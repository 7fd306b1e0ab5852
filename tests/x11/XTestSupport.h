// What the X11 tests share: a connection to the test display, pixels and properties read from
// it, the frame tick done by hand on a screenshot, child processes ended by PID, and polling.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bitmap/ABitmap.h"

namespace halvik::x11test {

// Makes X errors non-fatal for the test process (a window read while it changes fails, and
// the read is tried again); they are counted instead.
void InstallQuietErrorHandler();
int XErrorsSeen();

// Polls Done every 10 ms until it holds or Timeout passes; true when it held.
bool WaitUntil(const std::function<bool()>& Done, std::chrono::milliseconds Timeout = std::chrono::seconds(5));

// Pixels of a drawable's area as 0x00RRGGBB, row by row (empty when it cannot be read).
std::vector<uint32_t> ReadPixels(Display* Dpy, Drawable D, int X, int Y, int W, int H);
// A whole-screen screenshot as a 32-bit bitmap.
void ReadScreen(Display* Dpy, TABitmap& Out);

std::string TextProperty(Display* Dpy, Window W, const char* Name);  // "" when unset
std::vector<std::string> AtomsProperty(Display* Dpy, Window W, const char* Name);
std::vector<long> LongsProperty(Display* Dpy, Window W, const char* Name, Atom Type);
bool HasAtom(Display* Dpy, Window W, const char* Property, const char* Atom);
// ICCCM WM_STATE: 0 withdrawn, 1 normal, 3 iconic; -1 when unset.
int WmState(Display* Dpy, Window W);

// Where a managed client window is: its client area on the screen and the frame around it.
struct TPlace {
  int ClientX = 0, ClientY = 0, ClientW = 0, ClientH = 0;
  int FrameLeft = 0, FrameRight = 0, FrameTop = 0, FrameBottom = 0;
  bool Viewable = false;
  int Left() const { return ClientX - FrameLeft; }  // the frame's outer corner
  int Top() const { return ClientY - FrameTop; }
};
TPlace PlaceOf(Display* Dpy, Window Client);

// The managed client window of a process (from _NET_CLIENT_LIST and _NET_WM_PID), 0 for none.
Window ClientOfPid(Display* Dpy, pid_t Pid);

// The program's picture done by hand: one tick of the filters on a screenshot, for a window
// whose frame's outer corner is at (Left, Top) with a client area of ClientW x ClientH.
std::vector<uint32_t> ExpectedPicture(TABitmap& Screen, int Left, int Top, int ClientW, int ClientH);

// Pixels that differ, looking only where Expected is not the key colour 0x808080.
int OpaqueMismatches(const std::vector<uint32_t>& Picture, const std::vector<uint32_t>& Expected);

// A child process, ended by its PID when the object goes.
class TChild {
 public:
  explicit TChild(const std::vector<std::string>& Argv);
  ~TChild();
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;
  pid_t Pid() const { return pid_; }
  bool Running();
  // Waits for the exit; the exit code, or -1 on a timeout or a signal.
  int Wait(std::chrono::milliseconds Timeout);

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = 0;
};

// Runs a command to its end (at most 10 s); its exit code, or -1.
int RunCommand(const std::vector<std::string>& Argv);

}  // namespace halvik::x11test
