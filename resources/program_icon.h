// The program icon (resource 128): a 32 x 32 and a 16 x 16 image, 16 colours each.
#pragma once

#include <QIcon>

namespace karvex::res {

QIcon ProgramIcon();

}  // namespace karvex::res
