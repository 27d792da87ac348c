#include "app/RunEngine.h"

#include <algorithm>

#include "app/SettingsStore.h"
#include "engine/EraseEngine.h"

namespace tolvane {

std::unique_ptr<EraseEngine> MakeRunEngine(const std::optional<int>& passes,
                                           const EngineFactory& factory, std::string* note) {
    note->clear();
    const int passCount = PassesForRun(passes, note);
    std::unique_ptr<EraseEngine> engine =
        factory ? factory(passCount) : std::make_unique<EraseEngine>(passCount);
    if (!engine || !engine->Ready()) {
        return nullptr;
    }
    return engine;
}

void TakeFinalCounts(const EraseEngine& engine, int failedNotified, RunOutcome& outcome) {
    outcome.failed = std::max(failedNotified, engine.FailedCount());
    outcome.notFound = engine.NotFoundCount();
}

}  // namespace tolvane
