#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tolvane {

class EraseEngine;

// Makes the engine of a run for a pass count. The front ends make a plain EraseEngine unless
// given another factory; tests use one to reach the engine (its pause gate) of a run.
using EngineFactory = std::function<std::unique_ptr<EraseEngine>(int passCount)>;

// The engine of a run: for `passes` (--passes) when given, else for the "Passes" setting.
// `note` receives a line for the user when the setting could not be used as stored (empty
// otherwise). Null when no random source works: the run must not start.
std::unique_ptr<EraseEngine> MakeRunEngine(const std::optional<int>& passes,
                                           const EngineFactory& factory, std::string* note);

}  // namespace tolvane
