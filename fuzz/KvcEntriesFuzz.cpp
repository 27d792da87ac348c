// What kvc reads back: its file-manager entries (whether a file there is one of ours, and
// the program they start, which comes from the settings file) and the URIs Nemo hands it.
// The entries are read the way the desktop reads them, by the tests' independent reader.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "ExecLine.h"
#include "FuzzChecks.h"
#include "items/FileUriList.h"
#include "kvc/ContextActions.h"
#include "kvc/FileUris.h"

using namespace tolvane;
using namespace tolvane::fuzz;

namespace {

const QString kKvc = QStringLiteral("/usr/bin/kvc");

void CheckDolphin(const QString& program) {
    const QByteArray entry = kvc::DolphinServiceMenu(program);
    Require(entry.count('\n') == kvc::DolphinServiceMenu(QStringLiteral("/p")).count('\n'),
            "no program path adds a line to the Dolphin entry");
    Require(kvc::TextCarriesMark(entry, kvc::kActionMark), "our Dolphin entry carries the mark");
    const QString exec =
        test::KeyFileValue(entry, QStringLiteral("Desktop Action EraseWithBrevorn"), "Exec");
    Require(test::DesktopExecArguments(exec, {QStringLiteral("/f")}) ==
                QStringList({program, QStringLiteral("--"), QStringLiteral("/f")}),
            "Dolphin starts exactly the program, then the selected files");
}

void CheckNautilus(const QString& program) {
    const QByteArray script = kvc::NautilusScript(program);
    Require(kvc::TextCarriesMark(script, kvc::kActionMark),
            "our GNOME Files script carries the mark");
    // The program's name can only appear after the loop, so the first "exec" is ours.
    const QByteArray execLine = "\ndone\nexec ";
    const QByteArray ending = " -- \"$@\"\n";
    const qsizetype exec = script.indexOf(execLine);
    Require(exec >= 0 && script.endsWith(ending), "the script ends by starting the program");
    const qsizetype start = exec + execLine.size();
    const QString command =
        QString::fromUtf8(script.mid(start, script.size() - start - ending.size()));
    Require(test::GLibCommandLineWords(command) == QStringList({program}),
            "the script starts exactly the program");
}

// Nemo pastes the selection's URIs into its Exec line; kvc turns them back into the paths.
void CheckNemo(const QString& program, const QString& selected) {
    const QByteArray action = kvc::NemoAction(kKvc, program);
    Require(action.count('\n') == kvc::NemoAction(kKvc, QStringLiteral("/p")).count('\n'),
            "no program path adds a line to the Nemo action");
    Require(kvc::TextCarriesMark(action, kvc::kActionMark), "our Nemo action carries the mark");
    const QString exec = test::UnescapeValue(
        test::KeyFileValue(action, QStringLiteral("Nemo Action"), QStringLiteral("Exec")));
    const QStringList words =
        test::GLibCommandLineWords(test::ExpandNemoUris(exec, {test::FileUri(selected)}));
    Require(words.size() == 4 && words.mid(0, 3) == QStringList({kKvc, "--erase", program}),
            "Nemo starts kvc with exactly the program");
    const std::optional<QByteArray> path = kvc::LocalPathOfUri(words[3].toUtf8());
    Require(path && *path == selected.toUtf8(), "kvc gets back the path Nemo was given");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> parts = SplitAt(AsText(data, size), '\0');

    // A URI as Nemo passes it: only an absolute local path without a zero byte comes out,
    // and our own URI of such a path gives the path back.
    const QByteArray uri = QByteArray::fromStdString(parts[0]);
    if (const std::optional<QByteArray> path = kvc::LocalPathOfUri(uri)) {
        Require(path->startsWith('/'), "a URI gives an absolute path");
        Require(!path->contains('\0'), "a URI's path holds no zero byte");
        const QByteArray back = QByteArray::fromStdString(FileUri(path->toStdString()));
        Require(kvc::LocalPathOfUri(back) == path, "a path's own URI gives the path back");
    }

    // A user's file where ours would be: whether it is ours is read from its text.
    kvc::TextCarriesMark(uri, kvc::kActionMark);

    // The program the entries start, as the settings file names it (no zero byte: no path
    // holds one, and the entries are written only for an absolute path), and a selected
    // file's path in UTF-8, as a GLib file manager has it.
    if (parts.size() < 2 || parts[1].empty() || parts[1].front() != '/') {
        return 0;
    }
    const QString program =
        QString::fromUtf8(parts[1].data(), static_cast<qsizetype>(parts[1].size()));
    CheckDolphin(program);
    CheckNautilus(program);
    const QString selected =
        parts.size() >= 3 ? QString::fromUtf8(parts[2].c_str()) : QStringLiteral("/home/me/a b");
    if (!program.contains(u'%') && selected.startsWith(u'/')) {
        CheckNemo(program, selected);
    }
    return 0;
}
