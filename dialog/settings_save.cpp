// Saving the settings file: its bytes through the platform's whole-file replace. Apart from the
// reader, which karvex-run links without a toolkit.
#include "dialog/settings_file.h"
#include "dialog/settings_store.h"

namespace karvex {

bool SaveSettings(std::string_view path, const Settings& values) {
    if (path.empty()) {
        return false;
    }
    return ReplaceFileAtomically(std::string(path), SettingsFileBytes(values));
}

}  // namespace karvex
