// The windows' layout is drawn in twips; the screen takes pixels at 15 twips each.
#pragma once

#include <QWidget>

namespace kx6000 {

// The caption of the program's windows and message boxes.
inline constexpr const char* kApplicationTitle = "KX6000 Download";

inline int Twips(int twips) {
    return (twips + 7) / 15;
}

// Left, top, width and height in twips, relative to the parent.
inline void Place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(Twips(left), Twips(top), Twips(width), Twips(height));
}

}  // namespace kx6000
