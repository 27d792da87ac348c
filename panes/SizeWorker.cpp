#include "panes/SizeWorker.h"

namespace tolvane {

WorkerThread::Pass SizeWorker::MakePass() {
    return [this](WorkerThread& worker, int) {
        m_pass.Run(*this, m_sizer, [&worker] { return worker.StopRequested(); });
    };
}

std::optional<SizeJob> SizeWorker::TakeUnsizedRow(std::size_t from) {
    std::optional<SizeJob> job;
    // A call the closed gate refused leaves `job` empty: the pass ends, as for an empty list.
    m_gui.Run([&] { job = m_rows.TakeUnsizedRow(from); });
    return job;
}

void SizeWorker::StoreSize(const SizeJob& job, const FolderSizer::Result& size) {
    m_gui.Run([&] { m_rows.StoreSize(job, size); });
}

}  // namespace tolvane
