#include "window/settings_file.h"

#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdlib>

#include "window/cp932.h"

namespace karvex {

namespace {

constexpr int kLineCount = 6;

// Removes the line end: the LF and a CR just before it. A last line without LF keeps all its bytes.
QByteArray WithoutLineEnd(QByteArray line) {
    if (line.endsWith('\n')) {
        line.chop(1);
        if (line.endsWith('\r')) {
            line.chop(1);
        }
    }
    return line;
}

// A field's text cannot hold a NUL; as in a C string, it ends the value.
QByteArray UpToNul(QByteArray bytes) {
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0) {
        bytes.truncate(nul);
    }
    return bytes;
}

// `text` without the characters at either end for which `strip` holds.
template <typename Text, typename Predicate>
Text TrimmedBy(const Text& text, Predicate strip) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && strip(text.at(begin))) {
        ++begin;
    }
    while (end > begin && strip(text.at(end - 1))) {
        --end;
    }
    return text.mid(begin, end - begin);
}

// Only the six ASCII white-space bytes are trimmed, never a full-width space: no CP932 lead or
// trail byte falls in their range, so trimming the encoded bytes is the same as trimming the text.
bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A line break inside a value would end its line early and shift every later value by one line,
// so that the next load would lose the last one; it is stored as a space instead.
QByteArray OneLine(QByteArray bytes) {
    return bytes.replace('\n', ' ');
}

}  // namespace

int LoadSettings(const QString& path, Settings& out) {
    const QString unquoted = TrimmedBy(path, [](QChar c) { return c == u'"'; });
    // Only a regular file is read: opening a FIFO would block the window, and a device could
    // hand out an endless "line".
    if (unquoted.isEmpty() || !QFileInfo(unquoted).isFile()) {
        return kSettingsCannotOpen;
    }
    QFile file(unquoted);
    if (!file.open(QIODevice::ReadOnly)) {
        return kSettingsCannotOpen;
    }

    // Every line is read whole, however long, so a long value never shifts the ones after it.
    QByteArray lines[kLineCount];
    for (QByteArray& line : lines) {
        line = file.readLine();
        // An empty result is the end of the file or a read error: even an empty line has its LF.
        if (line.isEmpty()) {
            return kSettingsTooShort;
        }
        line = UpToNul(WithoutLineEnd(line));
    }

    Settings loaded;
    // Only the first character counts; "0", an empty line or anything else is the first model.
    loaded.tolva2 = lines[0].startsWith('1');
    // strtol takes leading white space, a sign and digits, and gives 0 when there are none; an
    // overflow gives LONG_MAX or LONG_MIN, which select no port either.
    loaded.port = std::strtol(lines[1].constData(), nullptr, 10);
    loaded.apn = FromCp932(lines[2]);
    loaded.user = FromCp932(lines[3]);
    loaded.password = FromCp932(lines[4]);
    loaded.phone = FromCp932(lines[5]);
    out = loaded;
    return 0;
}

bool SaveSettings(const QString& path, const Settings& values) {
    if (path.isEmpty()) {
        return false;
    }
    const bool existed = QFileInfo::exists(path);

    QByteArray content;
    content += values.tolva2 ? "1\r\n" : "0\r\n";
    content += QByteArray::number(values.port) + "\r\n";
    for (const QString* text : {&values.apn, &values.user, &values.password, &values.phone}) {
        content += OneLine(TrimmedBy(ToCp932(*text), IsAsciiSpace)) + "\r\n";
    }

    // The new text goes to a temporary file beside the old one, which is renamed over it only
    // when everything was written and synced; a kill or a full disk leaves the old file whole.
    QSaveFile file(path);
    // Unbuffered, so that a write the disk refuses fails here. Buffered, the bytes would only go
    // out when the file is committed, and Qt then renames the cut-short file over the old one and
    // reports success.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return false;
    }
    // The file holds a password in clear. When it replaces a file, QSaveFile gives the temporary
    // file the old one's permissions; a new one is narrowed before anything is written into it.
    if (!existed && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return false;
    }
    if (file.write(content) != content.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString SettingsPathForExecutable(const QString& executablePath) {
    if (executablePath.isEmpty()) {
        return {};
    }
    const qsizetype slash = executablePath.lastIndexOf(u'/');
    const qsizetype nameStart = slash + 1;
    const qsizetype dot = executablePath.lastIndexOf(u'.');
    // A dot counts as the start of an extension only inside the file name and not as its first
    // character (".karvex" is a name, not an extension).
    const qsizetype nameEnd = dot > nameStart ? dot : executablePath.size();
    return executablePath.left(nameEnd) + QStringLiteral(".ini");
}

}  // namespace karvex
