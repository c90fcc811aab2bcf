// The settings file as the Linux window uses it: the shared file format with Qt paths, and where
// the file lies.
#pragma once

#include <QString>

#include "dialog/settings_file.h"

namespace karvex {

int LoadSettings(const QString& path, Settings& out);
bool SaveSettings(const QString& path, const Settings& values);

// "<dir>/<base name>.ini" for an executable path (the extension, if any, is dropped); empty for
// an empty path.
QString SettingsPathForExecutable(const QString& executablePath);

}  // namespace karvex
