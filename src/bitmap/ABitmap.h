// TABitmap: the program's one image type, a platform bitmap held at 32 bits per pixel.
// A pixel is four bytes in memory order blue, green, red, fourth byte (0x00RRGGBB as a word).
#pragma once

#include <cstdint>
#include <string>

#include "platform/core/Graphics.h"

namespace halvik {

class TABitmap : public TBitmap {
 public:
  // An empty bitmap (0 by 0) at 32 bits per pixel.
  TABitmap();
  ~TABitmap() override;
  std::string ClassName() const override { return "TABitmap"; }

  // Each of these runs the inherited operation, then forces 32 bits per pixel.
  void Assign(TPersistent* Source) override;
  void LoadFromFile(const std::string& FileName) override;
  void LoadFromStream(TStream& Stream) override;

  // Sets 32 bits per pixel; a 32-bit bitmap is left untouched (same store, same pixels).
  void ForcePixelFormat();
  // Sets every pixel to Blue, Green, Red with fourth byte 0; no change without pixels.
  void Fill(uint8_t Blue, uint8_t Green, uint8_t Red);
  // True exactly when Width is greater than 0 (Height is not looked at).
  bool IsValid() const;
};

}  // namespace halvik
