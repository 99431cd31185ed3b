#pragma once

#include <QIcon>

namespace kip {

// The program's own icon: the desktop theme's where one is installed, else the picture built into the program.
QIcon programIcon();

// Tells the desktop which entry the program belongs to and gives every window without an icon of its own
// (message boxes, file dialogs) the program's icon.
void announceProgramIdentity();

}  // namespace kip
