// The dialog font, with stand-ins where the face the description names is not installed.
#pragma once

#include <QFont>
#include <QString>

namespace karvex {

// `face` at `points`, normal weight, upright. Missing faces fall back to IPAPGothic (metric
// compatible with the dialog's font), then to any font that covers Japanese, then to the default.
QFont DialogFont(const QString& face, int points);

}  // namespace karvex
