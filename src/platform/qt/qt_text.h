// Byte texts of the program as Qt strings and back. Captions, titles, message
// texts and settings values are UTF-8; file names use the system's file-name
// encoding; a grid cell holds one character (see window_model.h).
#pragma once

#include <QFile>
#include <QString>
#include <string>

namespace velk2 {

inline QString to_qstring(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

inline QString path_to_qstring(const std::string& path) {
    return QFile::decodeName(QByteArray(path.data(), qsizetype(path.size())));
}

inline std::string path_to_bytes(const QString& path) {
    const QByteArray b = QFile::encodeName(path);
    return std::string(b.constData(), std::size_t(b.size()));
}

} // namespace velk2
