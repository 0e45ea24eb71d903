#pragma once

// What a test reads back from a file it made: every byte, or nothing when
// the file cannot be opened; and, for the Qt tests, a file's bytes written.

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

// Makes (or empties) the file at `path` holding `bytes`: false when it cannot.
inline bool TMKWriteFileBytes(const QString& path, const QByteArray& bytes)
{
    std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
    out.write(bytes.constData(), bytes.size());
    return bool(out.flush());
}
#endif
