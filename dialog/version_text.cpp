#include "dialog/version_text.h"

#include <cstdio>

#include "resources/version.h"

namespace karvex {

// On Windows the numbers come from the executable's version resource (version_resource_win.cpp).
#ifndef _WIN32
std::optional<VersionNumbers> ProgramVersion() {
    const res::VersionData& data = res::kVersionData;
    if (data.translation[0] == 0 && data.translation[1] == 0) {
        return std::nullopt;
    }
    return VersionNumbers{data.fileVersion[0], data.fileVersion[1], data.fileVersion[2],
                          data.fileVersion[3]};
}
#endif

std::string FormatVersionLabel(const VersionNumbers& v) {
    char text[48];
    std::snprintf(text, sizeof text, "Version %d.%d%d", v[0], v[1], v[2]);
    return text;
}

}  // namespace karvex
