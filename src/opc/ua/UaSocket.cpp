#include "opc/ua/UaSocket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

int RemainingMs(UaDeadline deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

UaEndpointUrl UaEndpointUrl::Parse(const std::string& url) {
  const std::string scheme = "opc.tcp://";
  const auto invalid = [&] {
    return UaLinkError("'" + url + "' is not an OPC UA address (opc.tcp://host:port)");
  };
  if (url.rfind(scheme, 0) != 0) throw invalid();
  std::string rest = url.substr(scheme.size());
  rest = rest.substr(0, rest.find('/'));
  UaEndpointUrl out;
  std::string port;
  if (!rest.empty() && rest[0] == '[') {  // an IPv6 address
    const std::size_t close = rest.find(']');
    if (close == std::string::npos) throw invalid();
    out.Host = rest.substr(1, close - 1);
    if (close + 1 < rest.size()) {
      if (rest[close + 1] != ':' || close + 2 == rest.size()) throw invalid();
      port = rest.substr(close + 2);
    }
  } else {
    const std::size_t colon = rest.find(':');
    out.Host = rest.substr(0, colon);
    if (colon != std::string::npos) {
      port = rest.substr(colon + 1);
      if (port.empty()) throw invalid();
    }
  }
  if (out.Host.empty()) throw invalid();
  if (!port.empty()) {
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
      throw invalid();
    const int p = std::stoi(port);
    if (p < 1 || p > 65535) throw invalid();
    out.Port = static_cast<std::uint16_t>(p);
  }
  return out;
}

void UaSocket::Close() {
  const std::lock_guard lock(fdMutex_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void UaSocket::Abort() {
  const std::lock_guard lock(fdMutex_);
  aborted_ = true;
  // A poll, recv or send in flight on another thread returns at once.
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void UaSocket::Lost(const std::string& why) {
  Close();
  throw UaLinkError(aborted_ ? UaAbortedText : why);
}

void UaSocket::TimedOut(const std::string& why) {
  if (aborted_) Lost(why);
  Close();
  throw UaTimeoutError(why);
}

void UaSocket::WaitFor(short events, UaDeadline deadline, const char* what) {
  for (;;) {
    pollfd p{fd_, events, 0};
    const int n = ::poll(&p, 1, RemainingMs(deadline));
    if (n > 0) return;
    if (n == 0) TimedOut(std::string("The server did not ") + what + " in time");
    if (errno != EINTR) Lost(std::string("Connection failed: ") + std::strerror(errno));
  }
}

bool UaSocket::Readable(UaDeadline deadline) {
  if (fd_ < 0) throw UaLinkError("The connection is closed");
  for (;;) {
    pollfd p{fd_, POLLIN, 0};
    const int n = ::poll(&p, 1, RemainingMs(deadline));
    if (n >= 0) return n > 0;
    if (errno != EINTR) Lost(std::string("Connection failed: ") + std::strerror(errno));
  }
}

void UaSocket::Connect(const std::string& host, std::uint16_t port, UaDeadline deadline) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (rc != 0) throw UaLinkError("Computer \"" + host + "\" not found: " + gai_strerror(rc));
  std::string lastError = "no address";
  for (addrinfo* a = found; a; a = a->ai_next) {
    {
      // An abort before the descriptor exists holds for it too.
      const std::lock_guard lock(fdMutex_);
      if (aborted_) break;
      fd_ = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    }
    if (fd_ < 0) continue;
    int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd_, a->ai_addr, a->ai_addrlen) == 0) break;
    if (errno == EINPROGRESS) {
      pollfd p{fd_, POLLOUT, 0};
      int error = 0;
      socklen_t length = sizeof error;
      if (::poll(&p, 1, RemainingMs(deadline)) > 0 &&
          ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
        break;
      lastError = error ? std::strerror(error) : "no answer in time";
    } else {
      lastError = std::strerror(errno);
    }
    Close();
  }
  ::freeaddrinfo(found);
  if (aborted_) Lost(UaAbortedText);
  if (fd_ < 0)
    throw UaLinkError("Cannot connect to " + host + ":" + std::to_string(port) + ": " + lastError);
}

void UaSocket::SendAll(std::string_view bytes, UaDeadline deadline) {
  while (!bytes.empty()) {
    if (fd_ < 0) throw UaLinkError("The connection is closed");
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      WaitFor(POLLOUT, deadline, "take the request");
    } else if (n < 0 && errno != EINTR) {
      Lost(std::string("The connection to the server was lost: ") + std::strerror(errno));
    }
  }
}

std::string UaSocket::ReceiveExactly(std::size_t n, UaDeadline deadline) {
  std::string out(n, '\0');
  std::size_t have = 0;
  while (have < n) {
    if (fd_ < 0) throw UaLinkError("The connection is closed");
    // The deadline holds also while bytes keep coming (a server that streams garbage or
    // answers to other requests without end).
    if (std::chrono::steady_clock::now() >= deadline) TimedOut("The server did not answer in time");
    // Acknowledge at once: a server that sends an answer in several small writes waits
    // for the acknowledgement of each (Nagle), which the kernel would delay by up to 40 ms.
    int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    const ssize_t got = ::recv(fd_, out.data() + have, n - have, 0);
    if (got > 0) {
      have += static_cast<std::size_t>(got);
    } else if (got == 0) {
      Lost("The server closed the connection");
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      WaitFor(POLLIN, deadline, "answer");
    } else if (errno != EINTR) {
      Lost(std::string("The connection to the server was lost: ") + std::strerror(errno));
    }
  }
  return out;
}
