#pragma once

#include <QImage>

namespace kip {

// The product picture, 320 × 240 in 16-bit colour, drawn in code: the splash screen shows it and the
// about box shows it shrunk to 65 × 65.
QImage splashPicture();

}  // namespace kip
