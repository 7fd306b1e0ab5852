#include "XTestSupport.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <thread>

#include "app/Unit1.h"
#include "filters/ABitmapFilters32.h"

namespace halvik::x11test {

namespace {
int g_errors = 0;
int CountError(Display*, XErrorEvent*) { return ++g_errors, 0; }
}  // namespace

void InstallQuietErrorHandler() { XSetErrorHandler(CountError); }
int XErrorsSeen() { return g_errors; }

bool WaitUntil(const std::function<bool()>& Done, std::chrono::milliseconds Timeout) {
  const auto end = std::chrono::steady_clock::now() + Timeout;
  for (;;) {
    if (Done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::vector<uint32_t> ReadPixels(Display* Dpy, Drawable D, int X, int Y, int W, int H) {
  if (W <= 0 || H <= 0) return {};
  XImage* image = XGetImage(Dpy, D, X, Y, unsigned(W), unsigned(H), AllPlanes, ZPixmap);
  if (!image) return {};
  std::vector<uint32_t> out(size_t(W) * size_t(H));
  const unsigned long masks[3] = {image->red_mask, image->green_mask, image->blue_mask};
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const unsigned long p = XGetPixel(image, x, y);
      uint32_t word = 0;
      for (int c = 0; c < 3; ++c) {
        const int bits = std::popcount(masks[c]), shift = masks[c] ? std::countr_zero(masks[c]) : 0;
        const unsigned long v = (p & masks[c]) >> shift;
        word |= uint32_t(bits >= 8 ? v >> (bits - 8) : v * 255 / ((1UL << bits) - 1)) << (16 - 8 * c);
      }
      out[size_t(y) * size_t(W) + size_t(x)] = word;
    }
  XDestroyImage(image);
  return out;
}

void ReadScreen(Display* Dpy, TABitmap& Out) {
  const int w = DisplayWidth(Dpy, DefaultScreen(Dpy)), h = DisplayHeight(Dpy, DefaultScreen(Dpy));
  const std::vector<uint32_t> p = ReadPixels(Dpy, DefaultRootWindow(Dpy), 0, 0, w, h);
  Out.SetWidth(w);
  Out.SetHeight(h);
  for (int y = 0; y < h; ++y) std::copy_n(&p[size_t(y) * size_t(w)], w, static_cast<uint32_t*>(Out.ScanLine(y)));
}

std::string TextProperty(Display* Dpy, Window W, const char* Name) {
  Atom type;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  std::string out;
  if (XGetWindowProperty(Dpy, W, XInternAtom(Dpy, Name, False), 0, 4096, False, AnyPropertyType, &type, &format, &n,
                         &after, &data) == Success &&
      data && format == 8)
    out.assign(reinterpret_cast<char*>(data), n);
  if (data) XFree(data);
  return out;
}

std::vector<long> LongsProperty(Display* Dpy, Window W, const char* Name, Atom Type) {
  Atom type;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  std::vector<long> out;
  if (XGetWindowProperty(Dpy, W, XInternAtom(Dpy, Name, False), 0, 4096, False, Type, &type, &format, &n, &after,
                         &data) == Success &&
      data && format == 32)
    out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + n);
  if (data) XFree(data);
  return out;
}

std::vector<std::string> AtomsProperty(Display* Dpy, Window W, const char* Name) {
  std::vector<std::string> out;
  for (long a : LongsProperty(Dpy, W, Name, XA_ATOM)) {
    char* s = XGetAtomName(Dpy, Atom(a));
    out.push_back(s ? s : "");
    if (s) XFree(s);
  }
  return out;
}

bool HasAtom(Display* Dpy, Window W, const char* Property, const char* Atom) {
  const auto atoms = AtomsProperty(Dpy, W, Property);
  return std::find(atoms.begin(), atoms.end(), Atom) != atoms.end();
}

int WmState(Display* Dpy, Window W) {
  const auto v = LongsProperty(Dpy, W, "WM_STATE", XInternAtom(Dpy, "WM_STATE", False));
  return v.empty() ? -1 : int(v[0]);
}

TPlace PlaceOf(Display* Dpy, Window Client) {
  TPlace p;
  XWindowAttributes a;
  if (!XGetWindowAttributes(Dpy, Client, &a)) return p;
  p.ClientW = a.width;
  p.ClientH = a.height;
  p.Viewable = a.map_state == IsViewable;
  Window child;
  XTranslateCoordinates(Dpy, Client, DefaultRootWindow(Dpy), 0, 0, &p.ClientX, &p.ClientY, &child);
  const auto e = LongsProperty(Dpy, Client, "_NET_FRAME_EXTENTS", XA_CARDINAL);
  if (e.size() == 4) {
    p.FrameLeft = int(e[0]);
    p.FrameRight = int(e[1]);
    p.FrameTop = int(e[2]);
    p.FrameBottom = int(e[3]);
  }
  return p;
}

Window ClientOfPid(Display* Dpy, pid_t Pid) {
  for (long w : LongsProperty(Dpy, DefaultRootWindow(Dpy), "_NET_CLIENT_LIST", XA_WINDOW)) {
    const auto pid = LongsProperty(Dpy, Window(w), "_NET_WM_PID", XA_CARDINAL);
    if (!pid.empty() && pid[0] == Pid) return Window(w);
  }
  return 0;
}

std::vector<uint32_t> ExpectedPicture(TABitmap& Screen, int Left, int Top, int ClientW, int ClientH) {
  TABitmap work, out;
  work.SetWidth(2 * ClientW);
  work.SetHeight(2 * ClientH);
  out.SetWidth(ClientW);
  out.SetHeight(ClientH);
  StretchBilinear(work.Width(), work.Height(), Screen, Left, Top + CaptionOffset, ClientW, ClientH, 0, 0, work);
  BoxBlur(work, 1);
  StretchBilinear(ClientW, ClientH, work, 0, 0, work.Width(), work.Height(), 0, 0, out);
  std::vector<uint32_t> p;
  for (int y = 0; y < out.Height(); ++y)
    for (int x = 0; x < out.Width(); ++x) p.push_back(static_cast<uint32_t*>(out.ScanLine(y))[x] & 0xFFFFFF);
  return p;
}

int OpaqueMismatches(const std::vector<uint32_t>& Picture, const std::vector<uint32_t>& Expected) {
  if (Picture.size() != Expected.size()) return int(std::max(Picture.size(), Expected.size()));
  int bad = 0;
  for (size_t i = 0; i < Picture.size(); ++i)
    if (Expected[i] != 0x808080 && Picture[i] != Expected[i]) ++bad;
  return bad;
}

TChild::TChild(const std::vector<std::string>& Argv) {
  std::vector<char*> args;
  for (const auto& a : Argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives the test, however the test ends
    execvp(args[0], args.data());
    _exit(127);
  }
}

TChild::~TChild() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
  }
}

bool TChild::Running() {
  if (pid_ <= 0 || reaped_) return false;
  if (waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
  return !reaped_;
}

int TChild::Wait(std::chrono::milliseconds Timeout) {
  WaitUntil([&] { return !Running(); }, Timeout);
  if (!reaped_) return -1;
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

int RunCommand(const std::vector<std::string>& Argv) {
  TChild c(Argv);
  return c.Wait(std::chrono::seconds(10));
}

}  // namespace halvik::x11test
