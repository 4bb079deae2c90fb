// The catalogue lookup for Qt texts: the English text is the key, the
// translation comes back as UTF-8. And the one crossing of file names from
// Qt to the Qt-free floors, which take them as UTF-8 on every system.
#pragma once

#include <string>

#include <QString>

#include "core/Translate.h"

inline QString Tr(const char* text) { return QString::fromUtf8(_(text)); }
inline QString ToQ(const std::string& text) { return QString::fromStdString(text); }
// A file name for the Qt-free floors: UTF-8, which the Win32 file code
// widens (QFile::encodeName would give the ANSI code page there, and a
// folder named "Jürgen" or "Программы" would not be found).
inline std::string ToPath(const QString& path) { return path.toUtf8().toStdString(); }
