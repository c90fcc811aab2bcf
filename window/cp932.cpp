#include "window/cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace karvex {

namespace {
constexpr const char* kCodec = "CP932";
}

QByteArray ToCp932(const QString& text) {
    // The codec substitutes its own bytes for characters it cannot map; encode one code point at a
    // time so that each of those becomes a single '?'.
    QByteArray out;
    out.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QStringView one = QStringView(text).mid(i, len);
        i += len;
        if (one.at(0).unicode() < 0x80) {
            out.append(static_cast<char>(one.at(0).unicode()));
            continue;
        }
        QStringEncoder single(kCodec);
        const QByteArray bytes = single.encode(one);
        if (single.hasError() || bytes.isEmpty() || bytes == QByteArrayLiteral("\xFC\xFC")) {
            out.append('?');
        } else {
            out.append(bytes);
        }
    }
    return out;
}

QString FromCp932(QByteArrayView bytes) {
    QStringDecoder decoder(kCodec);
    return decoder.decode(bytes);
}

}  // namespace karvex
