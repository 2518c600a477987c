#include "platform/qt/qt_settings.h"

#include <QByteArray>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <string_view>

#include "platform/qt/qt_text.h"

namespace velk2 {

namespace {

// The file, line by line:
//   [SECTION]      starts a section; KEY=value lines before the first one
//                  belong to no section.
//   KEY=value      the key is trimmed of blanks and tabs, the value is every
//                  byte after the first "=" up to the line end.
// Lines end with LF; a CR before it is dropped (files edited on Windows), a
// UTF-8 byte-order mark at the start is skipped, blank lines are ignored.
// Any other line is kept as it stands and written again at the end of its
// section, after the keys, in the order the lines came: a comment (its first
// byte ";" or "#"), a second line for a key already read, and a line whose
// key holds "/", which is the group separator of the settings map and would
// otherwise send the line into a group of its own. So a rewrite loses nothing
// a person put there, nor moves it.
//
// A value is written as it is, with one exception: a value that holds a line
// break (CR or LF), or that would itself read as the exception, is written
// as "@ByteArray(" + value + ")" with "\" doubled, CR as "\r" and LF as "\n".
// This is the form in which older versions of the program stored bytes that
// were not UTF-8; reading it also takes their other escapes (\xHH, octal,
// \", \t ...) and the double quotes they put around the whole value when it
// held "," ";" or "=". Their plain UTF-8 values read as they stand, which is
// the value itself unless it held one of , ; = " \ (quoted or escaped then).
constexpr std::string_view encoded_open = "@ByteArray(";

std::string_view trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// The text inside "@ByteArray(...)", or nullopt for a plain value.
std::optional<std::string_view> encoded_body(std::string_view v) {
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    if (!v.starts_with(encoded_open) || !v.ends_with(')')) return std::nullopt;
    return v.substr(encoded_open.size(), v.size() - encoded_open.size() - 1);
}

int digit_value(char c, int base) {
    int d = base;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
    return d < base ? d : -1;
}

std::string unescaped(std::string_view s) {
    static constexpr std::string_view named = "abfnrtv", named_bytes = "\a\b\f\n\r\t\v";
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        if (c == 'x' || digit_value(c, 8) >= 0) {
            // A number escape runs over every following digit of its base.
            const int base = c == 'x' ? 16 : 8;
            unsigned value = c == 'x' ? 0 : unsigned(c - '0');
            while (i + 1 < s.size() && digit_value(s[i + 1], base) >= 0)
                value = value * unsigned(base) + unsigned(digit_value(s[++i], base));
            out += char(value);
        } else if (const auto k = named.find(c); k != std::string_view::npos) {
            out += named_bytes[k];
        } else {
            out += c; // \\ \" \' and any other character stand for themselves
        }
    }
    return out;
}

std::string read_value(std::string_view v) {
    if (auto body = encoded_body(v)) return unescaped(*body);
    return std::string(v);
}

std::string written_value(std::string_view v) {
    if (v.find_first_of("\r\n") == std::string_view::npos && !encoded_body(v))
        return std::string(v);
    std::string out(encoded_open);
    for (char c : v)
        out += c == '\\' ? "\\\\" : c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    return out + ')';
}

QString map_key(const QString& section, const QString& key) {
    return section.isEmpty() ? key : section + QLatin1Char('/') + key;
}

// Kept lines go into the map under a name no key can have (a key never
// holds "="), numbered so that they keep their order.
QString kept_name(int line_number) {
    return QStringLiteral("=%1").arg(line_number, 6, 10, QLatin1Char('0'));
}

bool read_settings(QIODevice& device, QSettings::SettingsMap& map) {
    const QByteArray bytes = device.readAll();
    std::string_view text(bytes.constData(), std::size_t(bytes.size()));
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    QString section;
    int line_number = 0;
    for (std::size_t start = 0; start < text.size(); ++line_number) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.ends_with('\r')) line.remove_suffix(1);
        const std::string_view bare = trimmed(line);
        if (bare.empty()) continue;
        if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']') {
            section = to_qstring(std::string(bare.substr(1, bare.size() - 2)));
            continue;
        }
        const std::size_t eq = line.find('=');
        const bool comment = bare.front() == ';' || bare.front() == '#';
        const std::string key(
            eq == std::string_view::npos || comment ? "" : trimmed(line.substr(0, eq)));
        const QString name = map_key(section, to_qstring(key));
        if (!key.empty() && key.find('/') == std::string::npos && !map.contains(name)) {
            const std::string value = read_value(line.substr(eq + 1));
            map.insert(name, QByteArray(value.data(), qsizetype(value.size())));
        } else {
            map.insert(map_key(section, kept_name(line_number)),
                       QByteArray(line.data(), qsizetype(line.size())));
        }
    }
    return true;
}

bool write_settings(QIODevice& device, const QSettings::SettingsMap& map) {
    struct Lines {
        QByteArray keys, kept;
    };
    std::map<QString, Lines> sections; // in name order, no section first
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const qsizetype slash = it.key().lastIndexOf(QLatin1Char('/'));
        const QString name = it.key().mid(slash + 1);
        Lines& lines = sections[slash < 0 ? QString() : it.key().left(slash)];
        const QByteArray value = it.value().toByteArray();
        if (name.startsWith(QLatin1Char('='))) {
            lines.kept += value + '\n';
        } else {
            const std::string v = written_value(std::string_view(value.constData(), value.size()));
            lines.keys += name.toUtf8() + '=' + QByteArray(v.data(), qsizetype(v.size())) + '\n';
        }
    }
    QByteArray out;
    for (const auto& [section, lines] : sections) {
        if (!out.isEmpty()) out += '\n';
        if (!section.isEmpty()) out += '[' + section.toUtf8() + "]\n";
        out += lines.keys + lines.kept;
    }
    return device.write(out) == out.size();
}

QSettings::Format settings_format() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("ini"), read_settings, write_settings);
    return format;
}

QString setting_key(const std::string& section, const std::string& key) {
    return map_key(to_qstring(section), to_qstring(key));
}

} // namespace

std::string settings_file_path() {
    return path_to_bytes(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/VELK2.ini"));
}

std::string settings_file_problem() {
    const std::string path = settings_file_path();
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec); // through a symbolic link
    if (!std::filesystem::exists(status) || std::filesystem::is_regular_file(status)) return {};
    return "settings file " + path + " is not a regular file: settings are not read or stored";
}

std::string read_ini_setting(const std::string& section, const std::string& key) {
    if (!settings_file_problem().empty()) return {};
    // A fresh QSettings reads the file again when another copy of the
    // program has written it meanwhile.
    QSettings settings(path_to_qstring(settings_file_path()), settings_format());
    const QByteArray value = settings.value(setting_key(section, key)).toByteArray();
    return std::string(value.constData(), std::size_t(value.size()));
}

bool store_ini_setting(const std::string& section, const std::string& key,
                       const std::string& value) {
    if (!settings_file_problem().empty()) return false;
    QSettings settings(path_to_qstring(settings_file_path()), settings_format());
    settings.setValue(setting_key(section, key), QByteArray(value.data(), qsizetype(value.size())));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace velk2
