#pragma once

// The analysis worker's loop: reads requests from inputFd, opens each path on the shared
// media record and writes the reply to outputFd, until its input ends. Returns the exit
// status for the process.
int RunAnalysisWorker(int inputFd, int outputFd);
