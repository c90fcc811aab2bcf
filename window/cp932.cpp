#include "window/cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace karvex {

namespace {
constexpr const char* kCodec = "CP932";
}

bool Cp932Available() {
    return QStringEncoder(kCodec).isValid() && QStringDecoder(kCodec).isValid();
}

QByteArray ToCp932(const QString& text, bool* unmappable) {
    // The codec substitutes its own bytes for characters it cannot map; encode one code point at a
    // time so that each of those becomes a single '?'.
    QByteArray out;
    out.reserve(text.size() * 2);
    // One encoder for the whole text (opening one is costly), reset before every character so
    // that state never carries over. An error does: a reset leaves it reported, so after one the
    // encoder is opened anew.
    QStringEncoder single(kCodec);
    bool replaced = false;
    for (qsizetype i = 0; i < text.size();) {
        // A pair of surrogates is one character; a lone surrogate is one unmappable unit and never
        // takes the character after it along.
        const bool pair =
            text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const qsizetype len = pair ? 2 : 1;
        const QStringView one = QStringView(text).mid(i, len);
        i += len;
        if (one.at(0).unicode() < 0x80) {
            out.append(static_cast<char>(one.at(0).unicode()));
            continue;
        }
        single.resetState();
        const QByteArray bytes = single.encode(one);
        if (single.hasError() || bytes.isEmpty() || bytes == QByteArrayLiteral("\xFC\xFC")) {
            out.append('?');
            replaced = true;
            if (single.hasError()) single = QStringEncoder(kCodec);
        } else {
            out.append(bytes);
        }
    }
    if (unmappable != nullptr) *unmappable = replaced;
    return out;
}

QString FromCp932(QByteArrayView bytes) {
    // The codec follows IBM's table for three control bytes (0x1A, 0x1C and 0x7F come out as one
    // another) and gives U+001A for bytes it cannot decode, where CP932 maps every byte below 0x80
    // to itself. Left so, a stray byte in a file would turn into Ctrl-Z, which the next save or a
    // command would send on as a real 0x1A. None of the three can be the second byte of a
    // double-byte character, so the text between them is decoded on its own, and what the codec
    // could not decode is shown as U+FFFD (saved as '?').
    QString out;
    out.reserve(bytes.size());
    const auto decodeRun = [&](QByteArrayView run) {
        if (run.isEmpty()) {
            return;
        }
        // The codec keeps a lead byte at the end of its input waiting for a trail byte that never
        // comes; an LF behind the run (never a trail byte) makes it report that byte too.
        QByteArray terminated(run.data(), run.size());
        terminated.append('\n');
        QStringDecoder decoder(kCodec);
        QString text = decoder.decode(terminated);
        if (text.endsWith(u'\n')) {
            text.chop(1);
        }
        text.replace(QChar(0x1A), QChar(QChar::ReplacementCharacter));
        out += text;
    };
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\x1A' || c == '\x1C' || c == '\x7F') {
            decodeRun(bytes.sliced(start, i - start));
            out += QChar(static_cast<char16_t>(static_cast<unsigned char>(c)));
            start = i + 1;
        }
    }
    decodeRun(bytes.sliced(start));
    return out;
}

}  // namespace karvex
