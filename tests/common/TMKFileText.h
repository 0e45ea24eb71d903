#pragma once

// What a test reads back from a file it made: every byte, or nothing when
// the file cannot be opened.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

inline std::string TMKFileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

#if __has_include(<QByteArray>)
#include <QByteArray>
#include <QString>

// The same for the Qt tests.
inline QByteArray TMKFileBytes(const QString& path)
{
    return QByteArray::fromStdString(TMKFileText(path.toStdString()));
}
#endif
