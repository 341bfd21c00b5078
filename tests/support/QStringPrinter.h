#pragma once
// Strings in GoogleTest failure messages as readable text in quotes.

#include <QString>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
