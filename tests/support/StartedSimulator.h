#pragma once
// A simulated controller already serving on its pseudo-terminal, so a port can open its
// slavePath() at once. For tests that link kv10sim.
#include "SimulatedController.h"

#include <memory>

namespace kv10::test {

// A user's symbolic link to the simulator's terminal at `path`. Windows has none: there a
// program opens the COM port itself, so no link is asked for.
inline QString deviceLinkAt(const QString& path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return {};
#else
    return path;
#endif
}

// Null, with the reason in `error`, when the pseudo-terminal or the link cannot be made.
inline std::unique_ptr<sim::SimulatedController> startSimulator(const sim::SimulatorOptions& options,
                                                                QString& error)
{
    auto controller = std::make_unique<sim::SimulatedController>(options);
    if (!controller->start(&error))
        return nullptr;
    return controller;
}

} // namespace kv10::test
