#pragma once

#include "WorkerProgram.h"

#include <QString>

namespace kq {

struct SandboxProbe {
    QString layers;        // one line per layer of the worker's confinement
    bool complete = false; // every layer holds on this machine
    QString failure;       // set when no worker could confine itself
};

// Starts one worker that confines itself as it would for a run, and asks which layers hold.
SandboxProbe ProbeSandbox(const AnalysisOptions& options);

} // namespace kq
