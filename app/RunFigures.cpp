#include "app/RunFigures.h"

#include <QStringList>

#include "engine/EraseEngine.h"
#include "engine/EraseRunner.h"
#include "engine/FormatSize.h"

namespace tolvane {
namespace {

constexpr int kEstimateFromPerMille = 10;
constexpr std::chrono::seconds kEstimateAfter{3};

QString TimeText(std::chrono::seconds left) {
    const long long seconds = left.count();
    if (seconds < 60) {
        return QStringLiteral("about %1 s left").arg(std::max(1LL, seconds));
    }
    const long long minutes = (seconds + 30) / 60;
    if (minutes < 60) {
        return QStringLiteral("about %1 min left").arg(minutes);
    }
    return QStringLiteral("about %1 h %2 min left").arg(minutes / 60).arg(minutes % 60);
}

QString Size(std::int64_t bytes) {
    return QString::fromStdString(FormatSize(bytes));
}

}  // namespace

std::intptr_t RunFigures::Send(std::uint32_t message, std::uintptr_t code, std::intptr_t value) {
    if (message == WM_ERASE_NOTIFY && code == ERN_COUNTING) {
        m_counted = static_cast<std::int32_t>(value);
        return 0;  // the run itself has no use for it
    }
    if (message == WM_ERASE_NOTIFY && code == ERN_PROGRESS && !m_totalKnown) {
        // The engine is the worker's and set up by now: its total is final.
        if (const EraseEngine* engine = m_run.Engine()) {
            m_total = engine->Total();
            m_entries = engine->CountsEntries();
        }
        m_startTicks = std::chrono::steady_clock::now().time_since_epoch().count();
        m_totalKnown = true;
    }
    if (message == WM_ERASE_NOTIFY && code == ERN_PROGRESS) {
        m_perMille = static_cast<int>(value);
    }
    return m_run.Send(message, code, value);
}

RunFigures::Figures RunFigures::Take() const {
    Figures figures;
    figures.counting = !m_totalKnown;
    figures.counted = m_counted;
    if (figures.counting) {
        return figures;
    }
    figures.entries = m_entries;
    figures.total = m_total;
    figures.perMille = m_perMille;
    const auto start = std::chrono::steady_clock::time_point(
        std::chrono::steady_clock::duration(m_startTicks.load()));
    figures.elapsed = std::chrono::steady_clock::now() - start;
    return figures;
}

std::optional<std::chrono::seconds> TimeLeft(const RunFigures::Figures& figures) {
    if (figures.counting || figures.perMille < kEstimateFromPerMille ||
        figures.elapsed < kEstimateAfter) {
        return std::nullopt;
    }
    const auto left = figures.elapsed * (1000 - figures.perMille) / figures.perMille;
    return std::chrono::duration_cast<std::chrono::seconds>(left);
}

QString ProgressLineText(const RunFigures::Figures& figures, const QString& item) {
    if (figures.counting) {
        return QStringLiteral("Total size is calculating, %1 files and folders")
            .arg(figures.counted);
    }
    QStringList parts;
    if (!item.isEmpty()) {
        parts << item;
    }
    const std::int64_t done = figures.total * figures.perMille / 1000;
    if (figures.entries) {
        parts << QStringLiteral("%1 of %2 entries").arg(done).arg(figures.total);
    } else {
        parts << QStringLiteral("%1 of %2").arg(Size(done), Size(figures.total));
    }
    if (std::optional<std::chrono::seconds> left = TimeLeft(figures)) {
        parts << TimeText(*left);
    }
    return parts.join(QStringLiteral("  \u00b7  "));
}

}  // namespace tolvane
