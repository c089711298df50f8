#pragma once

#include <QIcon>

// The program's icon in every size the desktop asks for, so that a title bar
// or task switcher never gets a blurred copy scaled from another size.
QIcon applicationIcon();
