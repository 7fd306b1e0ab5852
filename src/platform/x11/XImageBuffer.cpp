#include "platform/x11/XImageBuffer.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <X11/Xutil.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/core/Exceptions.h"
#include "platform/x11/XErrors.h"

namespace halvik::x11 {
namespace {

int LowBit(unsigned long Mask) { return Mask ? std::countr_zero(Mask) : 0; }
int BitCount(unsigned long Mask) { return std::popcount(Mask); }

}  // namespace

TXImageBuffer::TXImageBuffer(Display* Dpy, Visual* Vis, int Depth, int W, int H, bool UseShm) : dpy_(Dpy) {
  if (W <= 0 || H <= 0 || (long long)W * H > kMaxPixels)
    throw EOutOfResources("An X image of " + std::to_string(W) + " x " + std::to_string(H) +
                          " pixels is outside the limit of 1 to 2^28 pixels");
  if (UseShm && XShmQueryExtension(Dpy)) {
    image_ = XShmCreateImage(Dpy, Vis, unsigned(Depth), ZPixmap, nullptr, &shm_, unsigned(W), unsigned(H));
    if (image_) {
      const size_t size = size_t(image_->bytes_per_line) * size_t(H);
      shm_.shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
      if (shm_.shmid >= 0) {
        shm_.shmaddr = static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
        if (shm_.shmaddr != reinterpret_cast<char*>(-1)) {
          image_->data = shm_.shmaddr;
          shm_.readOnly = False;
          TErrorTrap trap(Dpy);
          shared_ = XShmAttach(Dpy, &shm_) && trap.Errors() == 0;
          if (!shared_) shmdt(shm_.shmaddr);
        }
        // The segment goes once both sides have detached.
        shmctl(shm_.shmid, IPC_RMID, nullptr);
      }
      if (!shared_) {
        image_->data = nullptr;
        XDestroyImage(image_);
        image_ = nullptr;
      }
    }
  }
  if (!image_) {
    image_ = XCreateImage(Dpy, Vis, unsigned(Depth), ZPixmap, 0, nullptr, unsigned(W), unsigned(H), 32, 0);
    if (!image_) throw EOutOfResources("Cannot create an X image of " + std::to_string(W) + " x " + std::to_string(H));
    image_->data = static_cast<char*>(std::malloc(size_t(image_->bytes_per_line) * size_t(H)));
    if (!image_->data) {
      XDestroyImage(image_);
      throw EOutOfResources("Out of memory for an X image of " + std::to_string(W) + " x " + std::to_string(H));
    }
  }
  mask_[0] = image_->red_mask;
  mask_[1] = image_->green_mask;
  mask_[2] = image_->blue_mask;
  for (int c = 0; c < 3; ++c) {
    shift_[c] = LowBit(mask_[c]);
    bits_[c] = BitCount(mask_[c]);
  }
  native_ = image_->bits_per_pixel == 32 && image_->byte_order == LSBFirst &&
            std::endian::native == std::endian::little && mask_[0] == 0xFF0000 && mask_[1] == 0xFF00 &&
            mask_[2] == 0xFF;
}

TXImageBuffer::~TXImageBuffer() {
  if (shared_) {
    XShmDetach(dpy_, &shm_);
    XSync(dpy_, False);
    shmdt(shm_.shmaddr);
    image_->data = nullptr;
  }
  XDestroyImage(image_);  // frees ordinary memory with the image
}

void TXImageBuffer::WaitForPut() {
  if (!put_pending_) return;
  XSync(dpy_, False);
  put_pending_ = false;
}

bool TXImageBuffer::Get(Drawable Source, int X, int Y) {
  WaitForPut();
  if (shared_) return XShmGetImage(dpy_, Source, image_, X, Y, AllPlanes) != 0;
  return XGetSubImage(dpy_, Source, X, Y, unsigned(Width()), unsigned(Height()), AllPlanes, ZPixmap, image_, 0, 0) !=
         nullptr;
}

void TXImageBuffer::Put(Drawable Target, GC Gc, int X, int Y, int W, int H) {
  if (W <= 0 || H <= 0) return;
  if (shared_) {
    XShmPutImage(dpy_, Target, Gc, image_, X, Y, X, Y, unsigned(W), unsigned(H), False);
    put_pending_ = true;
  } else {
    XPutImage(dpy_, Target, Gc, image_, X, Y, X, Y, unsigned(W), unsigned(H));
  }
}

void TXImageBuffer::ToPixels(int X, int Y, const TPixelRect& Dst) const {
  for (int y = 0; y < Dst.Height; ++y) {
    uint32_t* out = Dst.Row(y);
    if (native_) {
      const auto* in = reinterpret_cast<const uint32_t*>(image_->data + ptrdiff_t(Y + y) * image_->bytes_per_line) + X;
      for (int x = 0; x < Dst.Width; ++x) out[x] = in[x] & 0xFFFFFF;  // the fourth byte reads as 0
      continue;
    }
    for (int x = 0; x < Dst.Width; ++x) {
      const unsigned long p = XGetPixel(image_, X + x, Y + y);
      uint32_t word = 0;
      for (int c = 0; c < 3; ++c) {
        const unsigned long v = (p & mask_[c]) >> shift_[c];
        const unsigned long max = bits_[c] ? (1UL << bits_[c]) - 1 : 1;
        const uint32_t v8 = bits_[c] >= 8 ? uint32_t(v >> (bits_[c] - 8)) : uint32_t(v * 255 / max);
        word |= v8 << (16 - 8 * c);
      }
      out[x] = word;
    }
  }
}

void TXImageBuffer::FromPixels(int X, int Y, const TPixelRect& Src) {
  WaitForPut();
  for (int y = 0; y < Src.Height; ++y) {
    const uint32_t* in = Src.Row(y);
    if (native_) {
      std::memcpy(image_->data + ptrdiff_t(Y + y) * image_->bytes_per_line + ptrdiff_t(X) * 4, in, size_t(Src.Width) * 4);
      continue;
    }
    for (int x = 0; x < Src.Width; ++x) {
      unsigned long p = 0;
      for (int c = 0; c < 3; ++c) {
        const unsigned long v8 = (in[x] >> (16 - 8 * c)) & 0xFF;
        const unsigned long v = bits_[c] >= 8 ? v8 << (bits_[c] - 8) : v8 >> (8 - bits_[c]);
        p |= (v << shift_[c]) & mask_[c];
      }
      XPutPixel(image_, X + x, Y + y, p);
    }
  }
}

}  // namespace halvik::x11
