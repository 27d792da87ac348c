#include "engine/SizeCounter.h"

#include "platform/FileSystem.h"

namespace tolvane {

void SizeCounter::OnFile(std::string&, const FindData& entry) {
    if (entry.IsRegular()) {
        m_bytes += entry.size;
    }
    Counted();
}

void SizeCounter::OnEnterFolder(std::string&, const FindData&) {
    Counted();
}

void SizeCounter::OnDrive(std::string&, const std::string& volumeRoot) {
    m_bytes += AvailableBytes(Files(), volumeRoot);
    Counted();
}

void SizeCounter::Counted() {
    ++m_count;
    if (m_sink != nullptr) {
        m_sink->CountProgress(m_count);
    }
}

}  // namespace tolvane
