// Starting and signalling other processes. Commands are argument vectors run without a shell.
//
// Threading: safe from any thread.
#pragma once

#include <string>
#include <vector>

namespace wdx {

// Starts the program detached from the caller (own session, standard streams on /dev/null,
// no inherited descriptors besides those); iPid receives its process id. The caller need not
// wait for it: it is reparented when the caller exits.
bool SpawnDetached(const std::vector<std::string>& oArgs, int& iPid);
// Runs a program and waits for it; iExitCode receives its exit code (128 + signal when killed).
bool RunAndWait(const std::vector<std::string>& oArgs, int& iExitCode);
bool IsProcessAlive(int iPid);
// iSignal as in kill(2); false when the process does not exist or cannot be signalled.
bool SignalProcess(int iPid, int iSignal);

// Blocks SIGTERM, SIGINT and SIGHUP in the calling thread and every thread it starts later;
// call first in main(). WaitForStopSignal then returns the first of them that arrives, or 0
// when iTimeoutMs passed first.
void BlockStopSignals();
int WaitForStopSignal(int iTimeoutMs);

}  // namespace wdx
