// A TCP connection over POSIX sockets with a deadline on every wait: connect, send all,
// receive exactly n bytes. Failures throw UaLinkError with the text an engineer reads.
// One caller at a time, except Abort, which any thread may call at any time.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "opc/ua/UaChunks.h"

using UaDeadline = std::chrono::steady_clock::time_point;
inline UaDeadline UaDeadlineIn(int ms) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

// The parts of "opc.tcp://host:port/path"; port 4840 when not given. Throws UaLinkError
// for anything else.
struct UaEndpointUrl {
  std::string Host;
  std::uint16_t Port = 4840;
  static UaEndpointUrl Parse(const std::string& url);
};

class UaSocket {
 public:
  UaSocket() = default;
  ~UaSocket() { Close(); }
  UaSocket(const UaSocket&) = delete;
  UaSocket& operator=(const UaSocket&) = delete;

  void Connect(const std::string& host, std::uint16_t port, UaDeadline deadline);
  void SendAll(std::string_view bytes, UaDeadline deadline);
  std::string ReceiveExactly(std::size_t n, UaDeadline deadline);
  // True when bytes (or the end of the connection) wait to be received by the deadline.
  bool Readable(UaDeadline deadline);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Ends the connection from another thread: a wait in flight ends at once, and every
  // later send, receive and connect fails with UaAbortedText, until ClearAbort. The
  // descriptor is shut down, never closed, here: it cannot be one the owner reuses.
  void Abort();
  void ClearAbort() { aborted_ = false; }
  bool Aborted() const { return aborted_; }

 private:
  void WaitFor(short events, UaDeadline deadline, const char* what);
  // A failure of the connection: closes it and throws `why`, or UaAbortedText when the
  // connection was aborted.
  [[noreturn]] void Lost(const std::string& why);
  // Lost, as a UaTimeoutError.
  [[noreturn]] void TimedOut(const std::string& why);
  // Changed only by the owner, under fdMutex_, which Abort holds while it uses it.
  int fd_ = -1;
  std::mutex fdMutex_;
  std::atomic<bool> aborted_ = false;
};

// What a request in flight fails with when its connection is aborted.
inline constexpr const char* UaAbortedText = "The connection was ended by this program";
