// A TCP relay on loopback between a client and a server, for tests and benchmarks of what
// a network does to a plant link: a fixed latency with jitter (half each way, the order
// of the bytes kept), a stall of N ms (nothing passes, then what waited goes on) and a
// cut link (every relayed connection closed at once, new ones refused).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

class LatencyProxy {
 public:
  using Clock = std::chrono::steady_clock;

  explicit LatencyProxy(int targetPort) : targetPort_(targetPort) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in a = Loopback(0);
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listen_, 8) != 0)
      throw std::runtime_error("proxy: cannot listen");
    socklen_t len = sizeof a;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }
  ~LatencyProxy() {
    stopping_ = true;
    Cut();
    acceptor_.join();
    ::close(listen_);
    std::lock_guard lock(mutex_);
    for (auto& t : pumps_) t.join();
    for (int fd : sockets_) ::close(fd);
  }

  int Port() const { return port_; }
  std::string Url() const { return "opc.tcp://127.0.0.1:" + std::to_string(port_); }

  // Round-trip latency ± jitter (uniform), ms.
  void SetLatency(int ms, int jitterMs) {
    latencyUs_ = ms * 1000;
    jitterUs_ = jitterMs * 1000;
  }
  // Nothing passes either way for ms from now.
  void Stall(int ms) {
    stallUntil_ = (Clock::now() + std::chrono::milliseconds(ms)).time_since_epoch().count();
  }
  // Every relayed connection closed now; later ones refused.
  void Cut() {
    cut_ = true;
    std::lock_guard lock(mutex_);
    for (int fd : sockets_) ::shutdown(fd, SHUT_RDWR);
  }
  // New connections relayed again after a cut (the server back).
  void Restore() { cut_ = false; }

 private:
  static sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
  }

  void AcceptLoop() {
    while (!stopping_) {
      pollfd p{listen_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const int client = ::accept(listen_, nullptr, nullptr);
      if (client < 0) continue;
      if (cut_) {
        ::close(client);
        continue;
      }
      const int server = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in a = Loopback(targetPort_);
      if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(client);
        ::close(server);
        continue;
      }
      const int yes = 1;
      for (int fd : {client, server}) ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
      std::lock_guard lock(mutex_);
      sockets_.push_back(client);
      sockets_.push_back(server);
      pumps_.emplace_back([this, client, server] { Pump(client, server); });
      pumps_.emplace_back([this, client, server] { Pump(server, client); });
    }
  }

  // One direction: bytes read from `from` go to `to` half a round trip later, in order.
  void Pump(int from, int to) {
    struct Chunk {
      Clock::time_point due;
      std::string bytes;
    };
    std::deque<Chunk> waiting;
    std::mt19937 random(static_cast<unsigned>(from * 7919 + to));
    Clock::time_point lastDue{};
    char buffer[65536];
    bool open = true;
    while (open || !waiting.empty()) {
      const auto now = Clock::now();
      const Clock::time_point stall{Clock::duration(stallUntil_.load())};
      int timeoutMs = 20;
      if (!waiting.empty()) {
        const auto next = std::max(waiting.front().due, stall);
        timeoutMs = static_cast<int>(std::clamp<std::int64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count(), 0, 20));
      }
      if (open) {
        pollfd p{from, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) > 0) {
          const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
          if (n <= 0) {
            open = false;
          } else {
            const std::int64_t jitter = jitterUs_ > 0 ? std::uniform_int_distribution<std::int64_t>(
                                                            -jitterUs_, jitterUs_)(random)
                                                      : 0;
            const auto due = std::max(
                lastDue, Clock::now() + std::chrono::microseconds((latencyUs_ + jitter) / 2));
            lastDue = due;
            waiting.push_back({due, std::string(buffer, static_cast<std::size_t>(n))});
          }
        }
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max(timeoutMs, 1)));
      }
      if (cut_) break;
      const auto at = Clock::now();
      if (at < Clock::time_point{Clock::duration(stallUntil_.load())}) continue;
      while (!waiting.empty() && waiting.front().due <= at) {
        const std::string& b = waiting.front().bytes;
        if (::send(to, b.data(), b.size(), MSG_NOSIGNAL) < 0) {
          waiting.clear();
          open = false;
          break;
        }
        waiting.pop_front();
      }
    }
    ::shutdown(to, SHUT_WR);
  }

  int targetPort_;
  int listen_ = -1;
  int port_ = 0;
  std::atomic<std::int64_t> latencyUs_ = 0, jitterUs_ = 0;
  std::atomic<Clock::rep> stallUntil_ = 0;
  std::atomic<bool> cut_ = false, stopping_ = false;
  std::mutex mutex_;
  std::vector<int> sockets_;
  std::vector<std::thread> pumps_;
  std::thread acceptor_;
};
