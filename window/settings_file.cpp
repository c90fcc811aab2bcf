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

QString ExecutablePath() {
    QByteArray buffer(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            return {};
        }
        if (n < buffer.size()) {
            buffer.truncate(n);
            break;
        }
        // The path may have been cut off: try again with room to spare.
        buffer.resize(buffer.size() * 2);
    }
    // When the executable was replaced while it runs (a rebuild, an update), the kernel reports
    // the old file as "<path> (deleted)"; the settings belong beside the path as it now stands.
    static const QByteArray kDeleted = QByteArrayLiteral(" (deleted)");
    if (buffer.endsWith(kDeleted) && !QFileInfo::exists(QFile::decodeName(buffer))) {
        buffer.chop(kDeleted.size());
    }
    return QFile::decodeName(buffer);
}

}  // namespace karvex
