// The windows' layout is drawn in twips; the screen takes pixels at 15 twips each.
#pragma once

#include <QWidget>

#include "ui/WindowRules.h"

namespace kx6000 {

inline int Twips(int twips) {
    return (twips + 7) / 15;
}

// The face the layout's texts were measured in: a narrow 8 point one, 10 pixels high, so each text
// fits the cell drawn for it.
inline QFont LayoutFont(QFont font) {
    font.setPixelSize(10);
    font.setStretch(QFont::SemiCondensed);
    return font;
}

// Left, top, width and height in twips, relative to the parent.
inline void Place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(Twips(left), Twips(top), Twips(width), Twips(height));
}

}  // namespace kx6000
