#pragma once

#include <QIcon>

namespace kip {

// The pictures of the speed buttons that the desktop's icon theme may lack, painted in code.
enum class SpeedGlyph { New, Copy, Delete, Edit, SmallIcons, List, Help };
QIcon speedGlyph(SpeedGlyph glyph);

}  // namespace kip
