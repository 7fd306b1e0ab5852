// A generated scene for the root background: gradients with fine detail, rings, stripes and a
// block of greys from the key 0x808080 up where the program's window first stands, so that a
// blurred copy of it shows the filters' work and the colour key.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

namespace halvik::x11 {

// The scene's pixel at (X, Y) of a Width x Height screen, as 0x00RRGGBB.
uint32_t ScenePixel(int X, int Y, int Width, int Height);

// Makes the scene the root window's background. WithProperty also names its pixmap in
// _XROOTPMAP_ID (as desktop background setters do); without it the property is removed.
// Retain keeps the pixmap after this connection closes (for a tool that ends at once).
// False when the screen's visual is not TrueColor.
bool SetRootScene(Display* Dpy, bool WithProperty, bool Retain);

}  // namespace halvik::x11
