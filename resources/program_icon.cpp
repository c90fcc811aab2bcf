#include "resources/program_icon.h"

#include <QPixmap>

namespace karvex::res {

namespace {
#include "resources/karvex_icon_16.xpm"
#include "resources/karvex_icon_32.xpm"
}  // namespace

QIcon ProgramIcon() {
    QIcon icon;
    icon.addPixmap(QPixmap(karvex_icon_32_xpm));
    icon.addPixmap(QPixmap(karvex_icon_16_xpm));
    return icon;
}

}  // namespace karvex::res
