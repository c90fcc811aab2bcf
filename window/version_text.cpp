#include "window/version_text.h"

#include "resources/version.h"

namespace karvex {

std::optional<VersionNumbers> ProgramVersion() {
    const res::VersionData& data = res::kVersionData;
    if (data.translation[0] == 0 && data.translation[1] == 0) {
        return std::nullopt;
    }
    return VersionNumbers{data.fileVersion[0], data.fileVersion[1], data.fileVersion[2],
                          data.fileVersion[3]};
}

QString FormatVersionLabel(const VersionNumbers& v) {
    return QString::asprintf("Version %d.%d%d", v[0], v[1], v[2]);
}

}  // namespace karvex
