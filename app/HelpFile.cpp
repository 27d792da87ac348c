#include "app/HelpFile.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "platform/AppNames.h"
#include "views/VendorLinks.h"

namespace tolvane {
namespace {

constexpr char kHelpName[] = "bn.html";

QStringList HelpCandidates(const QString& programPath) {
    const QString folder = QFileInfo(programPath).path();
    return {folder + "/" + kHelpName,
            QDir::cleanPath(folder + "/../share/doc/tolvane/" + kHelpName)};
}

}  // namespace

QString FindHelpFile(const QString& programPath) {
    if (!QDir::isAbsolutePath(programPath)) {
        return {};  // relative to what? not the current folder
    }
    for (const QString& candidate : HelpCandidates(programPath)) {
        if (QFileInfo(candidate).isFile()) {
            return candidate;
        }
    }
    return {};
}

bool OpenHelp(QWidget* parent, const QString& programPath, const OpenUrlFunction& open) {
    const QString help = FindHelpFile(programPath);
    if (help.isEmpty()) {
        QMessageBox::warning(parent, QString::fromUtf8(AppDisplayName),
                             "The manual " + QString(kHelpName) + " is missing. It belongs in\n" +
                                 HelpCandidates(programPath).join("\nor in\n"));
        return false;
    }
    if (!open(QUrl::fromLocalFile(help))) {
        QMessageBox::warning(
            parent, QString::fromUtf8(AppDisplayName),
            "No program could show the manual. Open it in a web browser:\n" + help);
        return false;
    }
    return true;
}

bool OpenHomePage(const OpenUrlFunction& open) {
    return open(QUrl(QString::fromUtf8(kVendorHomePage)));
}

}  // namespace tolvane
