#include "app/RunEngine.h"

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

}  // namespace tolvane
