// Starting and signalling other processes. Commands are argument vectors run without a shell.
//
// Threading: safe from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace wdx {

// Starts the program detached from the caller (own session, standard streams on /dev/null,
// no inherited descriptors besides those); iPid receives its process id. The caller need not
// wait for it: it is reparented when the caller exits. iInheritFd (above 2; -1: none) is the one
// descriptor of the caller that the program inherits, under the same number.
bool SpawnDetached(const std::vector<std::string>& oArgs, int& iPid, int iInheritFd = -1);
// Runs a program and waits for it; iExitCode receives its exit code (128 + signal when killed).
bool RunAndWait(const std::vector<std::string>& oArgs, int& iExitCode);
// As RunAndWait, and sOutput receives what the program wrote to its standard output (at most
// iMaxBytes; the rest is read and dropped).
bool RunAndCapture(const std::vector<std::string>& oArgs, int& iExitCode, std::string& sOutput,
                   size_t iMaxBytes);
// As RunAndWait, with sInput written to the program's standard input (a pipe, closed after
// it). A program that ends or closes its input before reading it all is no failure of this
// call, and no SIGPIPE reaches the caller.
bool RunWithInput(const std::vector<std::string>& oArgs, const std::string& sInput, int& iExitCode);
// Starts the program as a child of the caller (signal mask and dispositions reset); the caller
// reaps it with ReapChild.
bool SpawnChild(const std::vector<std::string>& oArgs, int& iPid);
// True when the child iPid has ended (iExitCode as for RunAndWait) or no longer exists
// (iExitCode -1). With bWait false it does not wait for a child that still runs.
bool ReapChild(int iPid, bool bWait, int& iExitCode);
// True while the process exists and is not a zombie.
bool IsProcessAlive(int iPid);
// iSignal as in kill(2); false when the process does not exist or cannot be signalled.
bool SignalProcess(int iPid, int iSignal);

// Blocks SIGTERM, SIGINT and SIGHUP in the calling thread and every thread it starts later;
// call first in main(). WaitForStopSignal then returns the first of them that arrives, or 0
// when iTimeoutMs passed first (a negative iTimeoutMs waits without limit).
void BlockStopSignals();
int WaitForStopSignal(int iTimeoutMs);

}  // namespace wdx
