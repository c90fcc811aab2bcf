#include "link/log_file.h"

#include <ctime>

namespace karvex {

std::string LogFileName(std::string_view portName, const std::tm& when) {
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &when);
    std::string name = "karvex-";
    if (!portName.empty()) {
        name.append(portName);
        name += '-';
    }
    return name + stamp + ".log";
}

}  // namespace karvex
