// The process table of this machine as the counter layer sees it: every process in /proc with
// its base title (the file name of its executable, cut before its first "."; the short command
// name when the executable cannot be read), in ascending pid order, and the resolution of
// instance names ("name" = the first process of that title, "name#k" the k-th after it).
//
// Threading: the functions keep no state and may be called from any thread.
#pragma once

#include <string>
#include <vector>

namespace wdx {

struct SProcEntry {
  int m_iPid = 0;
  std::string m_sBaseTitle;
};

// Every process that can be seen, ascending by pid; processes that end while the table is read
// are left out.
std::vector<SProcEntry> ListProcesses();
// The path of the executable of process iPid as the link PROCROOT/PID/exe names it, "" when it
// cannot be read. A program whose file was replaced or removed while it runs (a package
// upgrade) is shown by the kernel as "PATH (deleted)"; the mark is taken off, so the process
// is still found under the path it was started from.
std::string ReadExePath(const std::string& sProcRoot, int iPid);
// The base title of one process, "" when it cannot be read.
std::string ReadBaseTitle(int iPid);
// The pid behind an instance name (title compared without letter case), -1 when there is none
// or the name is malformed ("name#", "name#x").
int FindInstancePid(const std::vector<SProcEntry>& oTable, const std::string& sInstance);

}  // namespace wdx
