#include "ExecLine.h"

namespace tolvane::test {

QString KeyFileValue(const QByteArray& file, const QString& group, const QString& key) {
    bool inGroup = false;
    for (const QByteArray& rawLine : file.split('\n')) {
        const QString line = QString::fromUtf8(rawLine);
        if (line.startsWith(u'[')) {
            inGroup = line == "[" + group + "]";
        } else if (inGroup && line.startsWith(key + "=")) {
            return line.mid(key.size() + 1);
        }
    }
    return {};
}

QString UnescapeValue(const QString& raw) {
    const QString codes = QStringLiteral("sntr");
    const QString meanings = QStringLiteral(" \n\t\r");
    QString out;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == u'\\' && i + 1 < raw.size()) {
            const QChar next = raw[++i];
            const qsizetype code = codes.indexOf(next);
            out += code >= 0 ? meanings[code] : next;
        } else {
            out += raw[i];
        }
    }
    return out;
}

QStringList DesktopExecArguments(const QString& rawExec, const QStringList& files) {
    const QString exec = UnescapeValue(rawExec);
    QStringList arguments;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (c == u'"') {
            inWord = true;
            for (++i; i < exec.size() && exec[i] != u'"'; ++i) {
                if (exec[i] == u'\\' && i + 1 < exec.size()) {
                    ++i;
                }
                if (exec[i] == u'%' && i + 1 < exec.size() && exec[i + 1] == u'%') {
                    ++i;
                }
                word += exec[i];
            }
        } else if (c == u' ') {
            if (inWord) {
                arguments << word;
            }
            word.clear();
            inWord = false;
        } else if (c == u'%' && i + 1 < exec.size()) {
            const QChar code = exec[++i];
            if (code == u'F') {
                arguments << files;
            } else if (code == u'%') {
                word += u'%';
                inWord = true;
            }
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        arguments << word;
    }
    return arguments;
}

QStringList GLibCommandLineWords(const QString& line) {
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u' ' || c == u'\t' || c == u'\n') {
            if (inWord) {
                words << word;
            }
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == u'\'') {
            for (++i; i < line.size() && line[i] != u'\''; ++i) {
                word += line[i];
            }
        } else if (c == u'"') {
            for (++i; i < line.size() && line[i] != u'"'; ++i) {
                if (line[i] == u'\\' && i + 1 < line.size() &&
                    QStringLiteral("\"\\$`\n").contains(line[i + 1])) {
                    ++i;
                }
                word += line[i];
            }
        } else if (c == u'\\' && i + 1 < line.size()) {
            word += line[++i];
        } else {
            word += c;
        }
    }
    if (inWord) {
        words << word;
    }
    return words;
}

QString ExpandNemoUris(const QString& exec, const QStringList& uris) {
    QStringList quoted;
    for (const QString& uri : uris) {
        quoted << "\"" + uri + "\"";
    }
    QString out = exec;
    return out.replace(QStringLiteral("%U"), quoted.join(u' '));
}

QString FileUri(const QString& path) {
    return "file://" + QString::fromLatin1(path.toUtf8().toPercentEncoding("!$&'()*+,;=:@/"));
}

}  // namespace tolvane::test
