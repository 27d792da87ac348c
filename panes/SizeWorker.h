#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "engine/FolderSizer.h"
#include "panes/EraseList.h"
#include "panes/SizePass.h"
#include "panes/WorkerThread.h"
#include "platform/GuiCallGate.h"

namespace tolvane {

// The size worker of the panes: fills the size columns of the erase list from its own
// thread (the panes' second WorkerThread), measuring each row with the FolderSizer. It reads
// and writes the rows only through calls it waits for on the window's thread (the gate), where
// the EraseList lives, and holds no lock across them; so the window's thread must keep
// running its event loop until the worker has ended (the panes' shutdown does that), or
// close the gate first.
//
// Construct on the window's thread, with the list and the pass coordination it shares with
// the list's edits; they and the gate must outlive the worker thread.
class SizeWorker : public SizeRowAccess {
public:
    SizeWorker(EraseList& rows, SizePass& pass, GuiCallGate& gui)
        : m_rows(rows), m_pass(pass), m_gui(gui) {}

    // The pass for the size WorkerThread.
    WorkerThread::Pass MakePass();
    // Before the worker starts: called on the worker after each folder a count enters.
    void SetFolderHook(FolderSizer::FolderHook hook) { m_sizer.SetFolderHook(std::move(hook)); }
    // Before the worker starts: where the counts list folders (tests fail listings there).
    void SetFileSystem(FileSystem& fileSystem) { m_sizer.SetFileSystem(fileSystem); }
    SizePass& Pass() { return m_pass; }
    // The way to the window's thread, for tests (hooks only before the worker starts).
    GuiCallGate& Gate() { return m_gui; }

    std::optional<SizeJob> TakeUnsizedRow(std::size_t from) override;
    void StoreSize(const SizeJob& job, const FolderSizer::Result& size) override;

private:
    EraseList& m_rows;
    SizePass& m_pass;
    GuiCallGate& m_gui;
    FolderSizer m_sizer;
};

}  // namespace tolvane
