// Code page 932 (Windows Shift-JIS): everything that leaves the program as bytes (commands, the
// settings file) is CP932; received bytes are decoded only for display.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace karvex {

// False when this Qt was built without the codec (no ICU): nothing could then be sent as typed.
bool Cp932Available();

// A character that CP932 cannot represent becomes '?', as the platform's own conversion does;
// `unmappable`, when given, tells whether that happened.
QByteArray ToCp932(const QString& text, bool* unmappable = nullptr);
QString FromCp932(QByteArrayView bytes);

}  // namespace karvex
