// The settings file's replace on Linux: QSaveFile.
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>

#include "dialog/settings_store.h"

namespace karvex {

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
    const QString name = QFile::decodeName(path.c_str());
    const bool existed = QFileInfo::exists(name);
    // The new text goes to a temporary file beside the old one, which is renamed over it only
    // when everything was written and synced; a kill or a full disk leaves the old file whole.
    QSaveFile file(name);
    // Unbuffered, so that a write the disk refuses fails here. Buffered, the bytes would only go
    // out when the file is committed, and Qt then renames the cut-short file over the old one and
    // reports success.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return false;
    }
    // The settings file holds a password in clear. When it replaces a file, QSaveFile gives the
    // temporary file the old one's permissions; a new one is narrowed before anything is written
    // into it.
    if (!existed && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return false;
    }
    const auto size = static_cast<qint64>(bytes.size());
    if (file.write(bytes.data(), size) != size) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace karvex
