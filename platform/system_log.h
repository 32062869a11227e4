// The system log of a service (the journal under systemd, syslog otherwise) with the ident
// WDXSVC. A process that does not run as a service prints the texts to standard output
// instead.
//
// Threading: safe from any thread.
#pragma once

namespace wdx {

// Chooses the destination for this process: the system log when bAsService, else stdout.
void SystemLogSetService(bool bAsService);
void SystemLogWrite(const char* szText);

}  // namespace wdx
