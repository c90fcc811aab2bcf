#include "window/settings_file.h"

#include <QByteArray>
#include <QFile>

namespace karvex {

int LoadSettings(const QString& path, Settings& out) {
    return LoadSettings(std::string_view(QFile::encodeName(path).toStdString()), out);
}

bool SaveSettings(const QString& path, const Settings& values) {
    return SaveSettings(std::string_view(QFile::encodeName(path).toStdString()), values);
}

}  // namespace karvex
