#pragma once

#include <cstdint>

#include "engine/ItemWalker.h"
#include "engine/ProgressSink.h"

namespace tolvane {

// Counts a selection for the progress total: files, folders (the folder items included) and
// drives, and the bytes to overwrite (the sizes of regular files, the free bytes of drives;
// links and special files are never written, so they add no bytes).
class SizeCounter : public ItemWalker {
public:
    explicit SizeCounter(ProgressSink* sink = nullptr, FileSystem& fileSystem = RealFileSystem())
        : ItemWalker(fileSystem), m_sink(sink) {}

    std::uint64_t Bytes() const { return m_bytes; }
    std::int32_t Count() const { return m_count; }

protected:
    void OnFile(std::string& path, const FindData& entry) override;
    void OnEnterFolder(std::string& path, const FindData& entry) override;
    void OnDrive(std::string& path, const std::string& volumeRoot) override;

private:
    void Counted();

    std::uint64_t m_bytes = 0;
    std::int32_t m_count = 0;
    ProgressSink* m_sink;
};

}  // namespace tolvane
