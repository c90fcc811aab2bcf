// The settings file as the Linux window uses it: the shared file format with Qt paths (where the
// file lies is link/program_places').
#pragma once

#include <QString>

#include "dialog/settings_file.h"

namespace karvex {

int LoadSettings(const QString& path, Settings& out);
bool SaveSettings(const QString& path, const Settings& values);

}  // namespace karvex
