#include "kvc/DesktopEntryText.h"

namespace tolvane::kvc {

QString EscapeEntryValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\') {
            out += u"\\\\";
        } else if (c == u'\n') {
            out += u"\\n";
        } else if (c == u'\t') {
            out += u"\\t";
        } else if (c == u'\r') {
            out += u"\\r";
        } else if (c == u' ' && i == 0) {
            out += u"\\s";  // readers strip leading white space otherwise
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

// Quoted always, not only when a reserved character appears: one rule is easier to trust than
// the list of reserved characters, and a quoted plain word means the same.
QString QuoteExecArgument(const QString& argument) {
    QString out = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') {
            out += u'\\';
        }
        if (c == u'%') {
            out += u'%';  // a field code otherwise
        }
        out += c;
    }
    out += u'"';
    return out;
}

}  // namespace

QString DesktopExecValue(const QStringList& arguments, const QString& fieldCodes) {
    QStringList words;
    for (const QString& argument : arguments) {
        words << QuoteExecArgument(argument);
    }
    if (!fieldCodes.isEmpty()) {
        words << fieldCodes;
    }
    // The string escapes come last: readers undo them first, then the quoting.
    return EscapeEntryValue(words.join(u' '));
}

QString ShellWord(const QString& text) {
    QString out = text;
    out.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + out + u'\'';
}

QString GLibExecWord(const QString& text) {
    return EscapeEntryValue(ShellWord(text));
}

}  // namespace tolvane::kvc
