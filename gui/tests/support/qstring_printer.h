// GoogleTest prints a QString as its text, so that a failed comparison says what was shown.
#pragma once

#include <QString>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
