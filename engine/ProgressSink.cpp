#include "engine/ProgressSink.h"

#include <cstdio>

#include "platform/StdOut.h"

namespace tolvane {

void ProgressSink::Progress(std::int64_t position, std::int64_t total) {
    std::int32_t perMille = total == 0 ? 1000 : static_cast<std::int32_t>(position * 1000 / total);
    // Compared before the cap: a position past the total reports 1000 on every call.
    if (perMille == m_last) {
        return;
    }
    if (perMille > 1000) {
        perMille = 1000;
    }
    m_last = perMille;
    char line[48];
    std::snprintf(line, sizeof line, "\rProcessed %3d.%1d%%", perMille / 10, perMille % 10);
    WriteStdOut(line);
    Send(ERN_PROGRESS, perMille);
}

void ProgressSink::ReportItem(const std::string& path, int code, const std::string& reason) {
    WriteStdOut("\r                    \r");
    WriteStdOutName(path);  // escaped on a terminal: a name must not control the screen
    switch (code) {
        case kReportNotFound:
            WriteStdOut(" - file not found\n");
            return;
        case kReportRefused:
            WriteStdOut(" - " + reason + "\n");
            break;
        default:
            WriteStdOut(" - failed\n");
            break;
    }
    Send(ERN_FAILED, reinterpret_cast<std::intptr_t>(path.c_str()));
}

void ProgressSink::ItemDone() {
    Send(ERN_ITEMDONE, 1);
}

void ProgressSink::Finished() {
    Send(ERN_FINISHED, 1);
}

void ProgressSink::CountProgress(std::int32_t count) {
    if (m_window == nullptr) {
        return;
    }
    // A window shows the count as it grows; a terminal gets a line at every thousand.
    if (count % kCountNotifyStep == 0) {
        Send(ERN_COUNTING, count);
    }
    if (count % 1000 != 0) {
        return;
    }
    char line[80];
    std::snprintf(line, sizeof line, "\rTotal size is calculating, %d files and folders", count);
    WriteStdOut(line);
}

void ProgressSink::Send(std::uintptr_t code, std::intptr_t value) {
    if (m_window != nullptr) {
        m_window->Send(m_message, code, value);
    }
}

}  // namespace tolvane
