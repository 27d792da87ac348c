#include "settings/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QStandardPaths>
#include <QVariant>
#include <cstdint>
#include <optional>

#include "platform/HexDigits.h"
#include "platform/RegularFile.h"

namespace tolvane {
namespace {

// The control characters written as a backslash and a letter, and their letters.
const QString kEscapedControls = QStringLiteral("\a\b\f\n\r\t\v");
const QString kEscapeLetters = QStringLiteral("abfnrtv");

bool IsPlainKey(QByteArrayView key) {
    if (key.isEmpty()) {
        return false;
    }
    for (char c : key) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
        if (!plain) {
            return false;
        }
    }
    return true;
}

// The next line from `at`, and `at` moved past its line break. A backslash takes the
// character after it with it, a line break too: that is how a value is continued on the next
// line, and the value's reader drops the pair.
QByteArray NextLine(const QByteArray& text, qsizetype& at) {
    const qsizetype start = at;
    while (at < text.size() && text[at] != '\n' && text[at] != '\r') {
        if (text[at] == '\\' && at + 1 < text.size()) {
            at += (text[at + 1] == '\r' && at + 2 < text.size() && text[at + 2] == '\n') ? 3 : 2;
        } else {
            ++at;
        }
    }
    const QByteArray line = text.mid(start, at - start);
    at += (at < text.size() && text[at] == '\r') ? 1 : 0;
    at += (at < text.size() && text[at] == '\n') ? 1 : 0;
    return line;
}

bool IsGeneralSection(const QByteArray& header) {
    const qsizetype close = header.indexOf(']');
    return close > 0 &&
           header.mid(1, close - 1).trimmed().compare("general", Qt::CaseInsensitive) == 0;
}

// The value of `c` as a digit of `base` (8 or 16), -1 when it is none.
int DigitValue(QChar c, int base) {
    const int value = c.unicode() < 0x80 ? HexDigitValue(static_cast<char>(c.unicode())) : -1;
    return value < base ? value : -1;
}

// The escape whose letter is at in[i], added to `out`; returns the index after it. The
// escapes are QSettings': C's letters, \x with any number of hex digits, octal digits, and a
// backslash before a line break continues the value.
qsizetype Unescape(const QString& in, qsizetype i, QString& out) {
    const QChar c = in[i++];
    const int base = c == u'x' ? 16 : DigitValue(c, 8) >= 0 ? 8 : 0;
    if (base != 0) {
        // As QSettings reads them: as many digits as follow, the value cut to 16 bits.
        std::uint32_t value = base == 8 ? static_cast<std::uint32_t>(DigitValue(c, 8)) : 0;
        bool digits = base == 8;
        for (int digit; i < in.size() && (digit = DigitValue(in[i], base)) >= 0; ++i) {
            value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
            digits = true;
        }
        if (digits) {
            out += QChar(static_cast<char16_t>(value & 0xffff));
        }
        return i;
    }
    if (const qsizetype letter = kEscapeLetters.indexOf(c); letter >= 0) {
        out += kEscapedControls[letter];
    } else if (c == u'\r' || c == u'\n') {
        i += (c == u'\r' && i < in.size() && in[i] == u'\n') ? 1 : 0;
    } else {
        out += c;  // \" \' \? \\ \; \, and anything else: the character itself
    }
    return i;
}

// The text of a value as written after '=': quotes group, white space around it goes, a ';'
// outside quotes starts a comment. Nothing when it is a list, which the program never stores.
std::optional<QString> UnescapedText(const QByteArray& raw) {
    const QString in = QString::fromUtf8(raw);
    QString out;
    qsizetype kept = 0;  // out's length without trailing white space outside quotes
    bool quoted = false;
    for (qsizetype i = 0; i < in.size();) {
        const QChar c = in[i++];
        const bool space = c == u' ' || c == u'\t';
        if (c == u'\\' && i < in.size()) {
            i = Unescape(in, i, out);
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (!quoted && c == u',') {
            return std::nullopt;
        } else if (!quoted && c == u';') {
            break;
        } else if (!quoted && space) {
            if (!out.isEmpty()) {  // leading white space goes
                out += c;
            }
            continue;
        } else {
            out += c;
        }
        kept = out.size();
    }
    out.truncate(kept);
    return out;
}

// The value the text stands for: a byte block, or text. Every other '@' kind is refused
// rather than decoded.
std::optional<QVariant> ValueOf(const QString& text) {
    const auto wrapped = [&text](QLatin1String prefix) {
        return text.startsWith(prefix) && text.endsWith(u')');
    };
    if (text.startsWith(QLatin1String("@@"))) {
        return QVariant(text.mid(1));
    }
    if (wrapped(QLatin1String("@ByteArray("))) {
        return QVariant(text.mid(11, text.size() - 12).toLatin1());
    }
    if (wrapped(QLatin1String("@String("))) {
        return QVariant(text.mid(8, text.size() - 9));
    }
    if (text.startsWith(u'@')) {
        return std::nullopt;
    }
    return QVariant(text);
}

// The text of a value as QSettings' INI writer lays it out: control characters, quotes and
// backslashes escaped, quoted when it holds a separator or starts or ends with a space.
// Byte blocks are Latin-1 with every byte above 0x7e escaped; text is UTF-8.
QByteArray Escaped(const QString& text, bool utf8) {
    QByteArray out;
    QString plain;  // characters waiting to be encoded together, so surrogate pairs stay whole
    const auto flush = [&out, &plain] {
        out += plain.toUtf8();
        plain.clear();
    };
    bool needsQuotes = false;
    bool escapeHexDigit = false;  // after \x or \0 a hex digit would be read as part of it
    for (QChar c : text) {
        const char16_t u = c.unicode();
        needsQuotes = needsQuotes || u == u';' || u == u',' || u == u'=';
        const bool hexDigit = DigitValue(c, 16) >= 0;
        if ((escapeHexDigit && hexDigit) || u == 0 ||
            (u < 0x20 && kEscapedControls.indexOf(c) < 0) || (u >= 0x7f && !utf8)) {
            flush();
            out += "\\x" + QByteArray::number(u, 16);
            escapeHexDigit = true;
            continue;
        }
        escapeHexDigit = false;
        if (const qsizetype control = kEscapedControls.indexOf(c); control >= 0) {
            flush();
            out += '\\';
            out += kEscapeLetters[control].toLatin1();
        } else if (u == u'"' || u == u'\\') {
            flush();
            out += '\\';
            out += static_cast<char>(u);
        } else {
            plain += c;
        }
    }
    flush();
    if (needsQuotes || out.startsWith(' ') || out.endsWith(' ')) {
        out = '"' + out + '"';
    }
    return out;
}

QByteArray TextOf(const QVariant& value) {
    if (value.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = value.toByteArray();
        return Escaped(QLatin1String("@ByteArray(") + QString::fromLatin1(bytes) + u')', false);
    }
    const QString text = value.toString();
    return Escaped(text.startsWith(u'@') ? u'@' + text : text, true);
}

bool ReadDevice(QIODevice& device, QSettings::SettingsMap& values) {
    values = ParseSettingsText(device.readAll());
    return true;
}

bool WriteDevice(QIODevice& device, const QSettings::SettingsMap& values) {
    const QByteArray text = SettingsText(values);
    return device.write(text) == text.size();
}

}  // namespace

QString SettingsFileName() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (folder.isEmpty()) {
        folder = QDir::homePath() + QStringLiteral("/.config");
    }
    return folder + QStringLiteral("/Miravelt/Tolvane.conf");
}

bool SettingsFileUsable(std::string* fileName) {
    const std::string name = QFile::encodeName(SettingsFileName()).toStdString();
    if (fileName != nullptr) {
        *fileName = name;
    }
    return IsRegularFileOrAbsent(name);
}

QSettings::Format SettingsFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("conf"), &ReadDevice, &WriteDevice);
    return format;
}

QSettings::SettingsMap ParseSettingsText(const QByteArray& text) {
    QSettings::SettingsMap values;
    bool general = true;  // keys before the first section header are top-level ones too
    for (qsizetype at = 0; at < text.size();) {
        const QByteArray line = NextLine(text, at);
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith('[')) {
            general = IsGeneralSection(trimmed);
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        const QByteArray key = line.left(equals).trimmed();
        if (!general || equals < 0 || !IsPlainKey(key)) {
            continue;  // comments and blank lines too: none is a plain key with '='
        }
        const std::optional<QString> unescaped = UnescapedText(line.mid(equals + 1));
        const std::optional<QVariant> value = unescaped ? ValueOf(*unescaped) : std::nullopt;
        if (value) {
            values.insert(QString::fromLatin1(key), *value);
        } else {
            values.remove(QString::fromLatin1(key));
        }
    }
    return values;
}

QByteArray SettingsText(const QSettings::SettingsMap& values) {
    QByteArray text("[General]\n");
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QByteArray key = it.key().toLatin1();
        if (IsPlainKey(key) && QString::fromLatin1(key) == it.key()) {
            text += key + '=' + TextOf(it.value()) + '\n';
        }
    }
    return text;
}

}  // namespace tolvane
