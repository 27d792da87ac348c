#include "panes/SizePass.h"

namespace tolvane {

void SizePass::Run(SizeRowAccess& rows, FolderSizer& sizer, const std::function<bool()>& quit) {
    sizer.RestorePriority();  // a big folder of the last pass may have lowered it
    std::uint64_t seen = m_generation.load();
    std::size_t from = 0;
    while (!quit()) {
        const std::uint64_t now = m_generation.load();
        if (now != seen) {
            // Rows may have moved or been added in front of `from`: look from the top again.
            seen = now;
            from = 0;
            m_restarts.fetch_add(1);
        }
        std::optional<SizeJob> job = rows.TakeUnsizedRow(from);
        if (!job) {
            return;  // an edit from here on has woken the worker again
        }
        const std::uint64_t countId = job->countId;
        FolderSizer::Result result =
            sizer.Measure(job->folder, job->name, [&] { return quit() || CountStopped(countId); });
        if (result.stopped) {
            if (CountStopped(countId)) {
                m_stoppedCounts.fetch_add(1);
            }
            continue;  // a partial total is no size; the removal that stopped it restarts us
        }
        rows.StoreSize(*job, result);
        from = job->row + 1;
    }
}

}  // namespace tolvane
