// `wardenix console [--port N] [--no-browser]`: the web console. Creates the console's features,
// registers their APIs with a CConsoleServer on 127.0.0.1, prints the address with the access
// token as its first line (so scripts and tests can read it), opens a browser at it unless told
// not to ($BROWSER when it names a program, else the first browser LocateBrowser finds), and
// serves until SIGINT, SIGTERM or SIGHUP arrives or a feature closes the console; then the
// server stops after the replies under way and every feature is shut down.
//
// Port: kDefaultConsolePort unless --port says otherwise; --port 0 takes any free port. A port
// that cannot be had is an error (exit code 1), never a silent move to another.
//
// Threading: call from the main thread before any other thread is started (it blocks the stop
// signals for the process).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace wdx {

// Below Linux's range of ports for outgoing connections (32768-60999), so no client socket
// holds it by chance, and not the port of a well-known service; fixed so that the address (and
// an SSH tunnel to it) stays the same from one start to the next.
inline constexpr int kDefaultConsolePort = 8437;

// oArgs[0] is "console". Exit code 0 after a normal end, 1 when the console cannot start, 2 on a
// usage error.
int RunConsoleCommand(const std::vector<std::string>& oArgs, const std::string& sProgramFolder,
                      std::ostream& oOut, std::ostream& oErr);

}  // namespace wdx
