#include "window/log_text.h"

namespace karvex {

LogTextDecoder::LogTextDecoder() : decoder_("CP932") {}

void LogTextDecoder::Reset() {
    decoder_.resetState();
}

QString LogTextDecoder::Decode(std::string_view bytes) {
    const QString decoded = decoder_.decode(QByteArrayView(bytes.data(), bytes.size()));
    QString out;
    out.reserve(decoded.size());
    for (const QChar ch : decoded) {
        const char16_t u = ch.unicode();
        if (u == u'\r') {
            continue;
        }
        if (u == u'\n' || u == u'\t' || (u >= 0x20 && u != 0x7F)) {
            out.append(ch);
        } else {
            out.append(QChar(QChar::ReplacementCharacter));
        }
    }
    return out;
}

}  // namespace karvex
