// The command endpoint: a Unix domain stream socket (mode 0600, owned by the service's user)
// carrying one request a line and one answer a line. CCommandServer is the transport only;
// what a line means is the handler's business.
//
// Limits: a request line longer than MAX_REQUEST_LINE bytes is answered with the handler's
// overflow answer and the connection is closed; at most MAX_CLIENTS connections at once. When
// all are taken, a new connection first closes those that sent no complete line for
// IDLE_CLIENT_MS (so one client cannot lock the others out, while a client that sends a line
// every second keeps its connection); with none such it is accepted and closed at once. A
// client that disconnects mid-line is dropped without an answer. None of this disturbs the
// other clients.
//
// Threading: the server runs one thread of its own that accepts, reads and calls the handler;
// the handler is called from that thread only, one line at a time. Start/Stop are called from
// one controlling thread. CCommandClient is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace wdx {

inline constexpr int MAX_REQUEST_LINE = 4096;
inline constexpr int MAX_CLIENTS = 256;
inline constexpr int IDLE_CLIENT_MS = 5000;

class ICommandHandler {
 public:
  virtual ~ICommandHandler() = default;
  // Answers one request line (without its line end). The answer must not hold "\n".
  virtual std::string HandleLine(const std::string& sLine) = 0;
  // The answer sent before closing a connection whose line exceeded MAX_REQUEST_LINE.
  virtual std::string OverflowAnswer() = 0;
};

class ICommandServer {
 public:
  virtual ~ICommandServer() = default;
  // Binds the socket at sPath (replacing a stale socket file, refusing when another server
  // answers there) and starts the server thread.
  virtual bool Start(const std::string& sPath, ICommandHandler* pHandler) = 0;
  // Stops the thread, closes every connection and removes the socket file.
  virtual void Stop() = 0;
  // Connections open now.
  virtual int GetClientCount() const = 0;
  // Monotonic milliseconds when the client count last became zero (or the server started).
  virtual int64_t GetIdleSinceMs() const = 0;
  virtual const std::string& GetLastError() const = 0;
};
std::unique_ptr<ICommandServer> CreateCommandServer();

class ICommandClient {
 public:
  virtual ~ICommandClient() = default;
  // Connects to the socket; false (with the reason in GetLastError) when nobody listens.
  virtual bool Connect(const std::string& sPath) = 0;
  // Sends one line and waits at most iTimeoutMs for its answer line.
  virtual bool Call(const std::string& sRequest, std::string& sAnswer, int iTimeoutMs) = 0;
  virtual void Disconnect() = 0;
  virtual bool IsConnected() const = 0;
  // errno of the last failure (ENOENT, ECONNREFUSED: nobody listens; ETIMEDOUT; EPIPE).
  virtual int GetLastErrorCode() const = 0;
  virtual const std::string& GetLastError() const = 0;
};
std::unique_ptr<ICommandClient> CreateCommandClient();

}  // namespace wdx
