#include "platform/qt/qt_settings.h"

#include <QByteArray>
#include <QSettings>
#include <QStringDecoder>

#include "platform/qt/qt_text.h"

namespace velk2 {

namespace {

QString setting_key(const std::string& section, const std::string& key) {
    return to_qstring(section) + QLatin1Char('/') + to_qstring(key);
}

bool is_utf8(const std::string& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    return !decoder.hasError();
}

} // namespace

std::string read_ini_setting(const std::string& section, const std::string& key) {
    // A fresh QSettings reads the file again when another copy of the
    // program has written it meanwhile.
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("VELK2"));
    const QVariant v = settings.value(setting_key(section, key));
    if (!v.isValid()) return {};
    if (v.metaType().id() == QMetaType::QByteArray) {
        const QByteArray b = v.toByteArray();
        return std::string(b.constData(), std::size_t(b.size()));
    }
    return to_bytes(v.toString());
}

bool store_ini_setting(const std::string& section, const std::string& key,
                       const std::string& value) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("VELK2"));
    // Readable text where the bytes are UTF-8 (all usual paths); any other
    // bytes are kept as a byte array so that they come back unchanged.
    if (is_utf8(value))
        settings.setValue(setting_key(section, key), to_qstring(value));
    else
        settings.setValue(setting_key(section, key),
                          QByteArray(value.data(), qsizetype(value.size())));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace velk2
