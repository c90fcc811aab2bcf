#include "dialog/settings_place.h"

namespace karvex {

SettingsPlace ChooseSettingsPlace(const SettingsCandidates& c) {
    if (c.beside.empty()) {
        return {};  // no executable path: nothing is read or written
    }
    if ((c.besideWritable && !c.installed) || c.user.empty()) {
        const bool fromUser = !c.besideExists && c.userExists && !c.user.empty();
        return {fromUser ? c.user : c.beside, c.beside, false};
    }
    return {c.userExists || !c.besideExists ? c.user : c.beside, c.user, true};
}

}  // namespace karvex
