// The window's two pictures, drawn when it is made: the help button's yellow question mark and the
// program's icon.
#pragma once

#include <windows.h>

namespace kx6000 {

// A yellow question mark, outlined, on the button's face; `size` pixels square.
HBITMAP QuestionMark(int size, HFONT font);

// A radio with its antenna and a downward arrow, 32 pixels square; the program's windows share it.
HICON ApplicationIcon();

}  // namespace kx6000
