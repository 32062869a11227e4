// Where the platform layer reports what went wrong. The platform layer sits below the
// foundation, so it cannot write the process's event log itself: the layer above installs a
// sink (the foundation's process log does so when it is installed). While no sink is installed
// the texts are dropped, as they would be with no event log.
//
// Threading: the calls are safe from any thread; the sink is installed or removed by start-up
// and shutdown code, and a sink must accept calls from any thread.
#pragma once

namespace wdx {

enum class EPlatformLogKind { ERROR, MESSAGE };

using PlatformLogSink = void (*)(EPlatformLogKind eKind, const char* szText);

// Installs pSink (nullptr removes it).
void SetPlatformLogSink(PlatformLogSink pSink);

void PlatformLogError(const char* szText);
void PlatformLogMessage(const char* szText);

}  // namespace wdx
