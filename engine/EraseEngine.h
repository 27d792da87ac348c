#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/ItemWalker.h"
#include "engine/PatternSource.h"
#include "engine/PauseGate.h"
#include "engine/ProgressSink.h"

namespace tolvane {

class BlockPrefetcher;

// Destroys what an erase run visits. Per file, in this order: make it owner-writable, switch
// off compression, open it for writing without truncating, overwrite it in place with every
// pass (a flush and a rewind after each completed pass), close, rename it twice to
// meaningless names, truncate it to zero, scramble its times, close, delete. Links and special
// files (FIFOs, sockets, devices) are never opened for writing: they are renamed and removed.
// Folders are removed once empty; a drive spec stands for the volume's free space, which is
// filled with fill files and released.
//
// Progress units: with passes, bytes times passes; with 0 passes, entries.
//
// Created by the window that starts a run, used by exactly one worker thread through Walk(),
// deleted by the window on ERN_FINISHED (nothing touches the engine after OnFinish sends it).
// RequestCancel() and Gate() may be used from the window's thread.
class EraseEngine : public ItemWalker {
public:
    explicit EraseEngine(int passCount);
    ~EraseEngine() override;

    // False when no random source works: a run must not start with this engine.
    bool Ready() const { return m_patterns.Ready(); }
    int PassCount() const { return m_passCount; }

    void SetTotal(std::int64_t total) { m_total = total; }
    std::int64_t Total() const { return m_total; }
    std::uint64_t Done() const { return m_done; }
    void SetSink(ProgressSink* sink) { m_sink = sink; }
    PauseGate& Gate() { return m_gate; }
    // Items reported as naming nothing, and paths reported as not erased (also refused ones).
    // Read them before deleting the engine, e.g. while handling ERN_FINISHED.
    int NotFoundCount() const { return m_notFoundCount; }
    int FailedCount() const { return m_failedCount; }

    // The odometer over 'a'..'z', first character least significant; a carry past the end
    // appends 'a' ("zz" -> "aaa", "" -> "a").
    static void NextName(std::string& name);
    // Moves each time back by (r & 0x7FFFF) in the high and (r & 0xFFF80000) in the low 32 bits,
    // two separate wrapping subtractions (no borrow between the halves).
    static std::int64_t ScrambleTime(std::int64_t fileTime, std::uint32_t r);

protected:
    void OnFile(std::string& path, const FindData& entry) override;
    void OnLeaveFolder(std::string& path, const FindData& entry) override;
    void OnDrive(std::string& path, const std::string& volumeRoot) override;
    void OnItemBegin(const EraseItem& item) override;
    void OnItemEnd(const EraseItem& item) override;
    void OnFinish() override;
    void OnRootRefused(const EraseItem& item) override;

private:
    bool EraseFile(int dirFd, std::string& name, const FindData& entry);
    bool OverwriteFile(int dirFd, const std::string& name, const FindData& entry);
    std::uint64_t WritePasses(int fd, std::uint64_t size);
    bool WritePass(int fd, int pass, std::uint64_t blocks, std::uint64_t& position,
                   std::uint64_t& written);
    bool WriteBlock(int fd, const std::uint8_t* block, std::uint64_t& written);
    bool ObscureName(int dirFd, std::string& name);
    bool TruncateAndDelete(int dirFd, const std::string& name);
    void ScrambleTimes(int fd);
    void ScrambleEntryTimes(int dirFd, const std::string& name);
    bool IsFolderEmpty(int dirFd, const std::string& name);
    void Progress(std::uint64_t position);
    void Report(const std::string& path, int code);
    void WipeFreeSpace(const std::string& volumeRoot);
    bool FillFreeSpace(int folderFd);
    void RecreateTraceFolder(const EraseItem& item);

    int m_passCount;
    std::uint64_t m_done = 0;
    std::int64_t m_total = -1;
    std::string m_reportPath;
    std::string m_previousName;
    PatternSource m_patterns;
    ProgressSink* m_sink = nullptr;
    PauseGate m_gate;
    bool m_itemTouched = false;
    std::uint32_t m_traceMode = 0700;  // permission bits of the current trace folder item
    int m_notFoundCount = 0;
    int m_failedCount = 0;
    std::unique_ptr<BlockPrefetcher> m_prefetcher;  // made at the first multi-block fresh pass
};

}  // namespace tolvane
