#include "window/settings_file.h"

#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

namespace karvex {

int LoadSettings(const QString& path, Settings& out) {
    return LoadSettings(std::string_view(QFile::encodeName(path).toStdString()), out);
}

bool SaveSettings(const QString& path, const Settings& values) {
    return SaveSettings(std::string_view(QFile::encodeName(path).toStdString()), values);
}

QString SettingsPathForExecutable(const QString& executablePath) {
    return QString::fromStdString(
        SettingsPathForExecutable(std::string_view(executablePath.toStdString())));
}

}  // namespace karvex
