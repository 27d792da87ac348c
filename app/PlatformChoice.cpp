#include "app/PlatformChoice.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <QSet>

#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

namespace tolvane {
namespace {

using Access = DisplayServer::Access;

// One platform Qt would try: the entry as written ("wayland:option") and its plugin key.
struct Candidate {
    std::string entry;
    std::string key;
};

enum class Failure { kNone, kServerUnset, kServerUnreachable, kPluginMissing };

std::string Lowered(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::vector<Candidate> Candidates(const PlatformFacts& facts) {
    std::vector<std::string> entries;
    if (!facts.requested.empty()) {
        std::string_view rest = facts.requested;
        while (!rest.empty()) {
            const std::size_t end = std::min(rest.find(';'), rest.size());
            if (end > 0) {
                entries.emplace_back(rest.substr(0, end));
            }
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
    } else {
        // Qt's own order on Linux, where xcb is the built-in default.
        if (facts.display.wayland.access != Access::kUnset || facts.waylandSession) {
            entries.emplace_back("wayland");
        }
        entries.emplace_back("xcb");
    }
    std::vector<Candidate> candidates;
    for (std::string& entry : entries) {
        std::string key = Lowered(entry.substr(0, entry.find(':')));
        candidates.push_back({std::move(entry), std::move(key)});
    }
    return candidates;
}

// The server a platform needs, and the variable that names it; none for platforms such as
// offscreen, minimal or vnc.
const DisplayServer* ServerFor(const std::string& key, const DisplayStatus& display,
                               const char** variable) {
    if (key == "xcb") {
        *variable = "DISPLAY";
        return &display.x11;
    }
    if (key.starts_with("wayland")) {
        *variable = "WAYLAND_DISPLAY";
        return &display.wayland;
    }
    return nullptr;
}

Failure Check(const Candidate& candidate, const PlatformFacts& facts) {
    const char* variable = nullptr;
    if (const DisplayServer* server = ServerFor(candidate.key, facts.display, &variable)) {
        if (server->access == Access::kUnset) {
            return Failure::kServerUnset;
        }
        if (server->access == Access::kUnreachable) {
            return Failure::kServerUnreachable;
        }
    }
    return facts.hasPlugin(candidate.key) ? Failure::kNone : Failure::kPluginMissing;
}

std::string MissingPluginText(const std::string& key) {
    if (key.starts_with("wayland")) {
        return "the Qt Wayland platform plugin is not installed (install the package "
               "qt6-wayland, or start the program with QT_QPA_PLATFORM=xcb to use X11)";
    }
    if (key == "xcb") {
        return "the Qt X11 platform plugin \"xcb\" is not installed (package libqt6gui6)";
    }
    return "the Qt platform plugin \"" + key + "\" is not installed";
}

std::string Explained(const Candidate& candidate, Failure failure, const PlatformFacts& facts) {
    const char* variable = "";
    const DisplayServer* server = ServerFor(candidate.key, facts.display, &variable);
    switch (failure) {
        case Failure::kServerUnset:
            // Only a request or the session type names a platform whose server is unset: say
            // so, rather than blame a display that answers.
            return (facts.requested.empty() ? std::string("XDG_SESSION_TYPE=wayland")
                                            : "QT_QPA_PLATFORM=" + facts.requested) +
                   " asks for " + (candidate.key == "xcb" ? "X11" : "Wayland") + ", but " +
                   variable + " is not set";
        case Failure::kServerUnreachable:
            return "cannot reach the display (" + std::string(variable) + "=" + server->value + ")";
        case Failure::kPluginMissing:
            return MissingPluginText(candidate.key);
        case Failure::kNone:
            break;
    }
    return {};
}

// The failure worth telling first: a missing plugin is what the user can mend, an unreachable
// server what they may not know about; an unset variable is the least surprising.
int Weight(Failure failure) {
    switch (failure) {
        case Failure::kPluginMissing:
            return 3;
        case Failure::kServerUnreachable:
            return 2;
        case Failure::kServerUnset:
            return 1;
        case Failure::kNone:
            break;
    }
    return 0;
}

}  // namespace

PlatformChoice ChoosePlatform(const PlatformFacts& facts) {
    PlatformChoice choice;
    if (facts.display.x11.access == Access::kUnset &&
        facts.display.wayland.access == Access::kUnset) {
        return choice;  // kNoDisplay
    }
    const std::vector<Candidate> candidates = Candidates(facts);
    const Candidate* worst = nullptr;
    Failure worstFailure = Failure::kNone;
    for (const Candidate& candidate : candidates) {
        const Failure failure = Check(candidate, facts);
        if (failure == Failure::kNone) {
            choice.outcome = PlatformChoice::Outcome::kWindow;
            if (&candidate != &candidates.front()) {
                choice.platform = candidate.entry;  // Qt must not try the ones before it
            }
            // Falling back past an absent server is normal; past a missing plugin, the user
            // may want to install it.
            if (worstFailure == Failure::kPluginMissing) {
                choice.reason =
                    "the Qt platform plugin \"" + worst->key + "\" is not installed" +
                    (worst->key.starts_with("wayland") ? " (package qt6-wayland)" : "") +
                    "; using \"" + candidate.key + "\"";
            }
            return choice;
        }
        if (Weight(failure) > Weight(worstFailure)) {
            worst = &candidate;
            worstFailure = failure;
        }
    }
    choice.outcome = PlatformChoice::Outcome::kUnavailable;
    choice.reason = Explained(*worst, worstFailure, facts);
    return choice;
}

namespace {

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// The folders Qt loads platform plugins from, as it searches them.
QStringList PlatformPluginFolders() {
    QStringList folders;
    const QString own = qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH");
    if (!own.isEmpty()) {
        folders << own;
    }
    for (const QString& path :
         qEnvironmentVariable("QT_PLUGIN_PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts)) {
        folders << path + "/platforms";
    }
    folders << QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms";
    return folders;
}

// The keys of the installed platform plugins, read from their metadata without loading them.
QSet<QString> InstalledPlatformKeys() {
    QSet<QString> keys;
    for (const QString& folder : PlatformPluginFolders()) {
        const QDir dir(folder);
        for (const QString& file : dir.entryList({"*.so"}, QDir::Files)) {
            const QJsonObject meta = QPluginLoader(dir.filePath(file)).metaData();
            for (const QJsonValue key : meta.value("MetaData").toObject().value("Keys").toArray()) {
                keys.insert(key.toString().toLower());
            }
        }
    }
    return keys;
}

}  // namespace

PlatformFacts CurrentPlatformFacts() {
    PlatformFacts facts;
    facts.requested = Variable("QT_QPA_PLATFORM");
    facts.waylandSession = Variable("XDG_SESSION_TYPE") == "wayland";
    facts.display = ProbeDisplay();
    // Read once, and only when a platform is checked.
    auto keys = std::make_shared<std::optional<QSet<QString>>>();
    facts.hasPlugin = [keys](std::string_view key) {
        if (!keys->has_value()) {
            *keys = InstalledPlatformKeys();
        }
        return (*keys)->contains(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())));
    };
    return facts;
}

}  // namespace tolvane
