#include "panes/SizeWorker.h"

#include <QMetaObject>

namespace tolvane {

WorkerThread::Pass SizeWorker::MakePass() {
    return [this](WorkerThread& worker, int) {
        m_pass.Run(*this, m_sizer, [&worker] { return worker.StopRequested(); });
    };
}

std::optional<SizeJob> SizeWorker::TakeUnsizedRow(std::size_t from) {
    std::optional<SizeJob> job;
    // A call that cannot be delivered leaves `job` empty: the pass ends, as for an empty list.
    QMetaObject::invokeMethod(
        &m_context, [&] { job = m_rows.TakeUnsizedRow(from); }, Qt::BlockingQueuedConnection);
    return job;
}

void SizeWorker::StoreSize(const SizeJob& job, std::uint64_t bytes) {
    QMetaObject::invokeMethod(
        &m_context, [&] { m_rows.StoreSize(job, bytes); }, Qt::BlockingQueuedConnection);
}

}  // namespace tolvane
