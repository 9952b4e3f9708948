// The scripted hostile OPC UA server of hostile_ua_server.py, started for one test in a
// mode that breaks the protocol one way; stopped when it goes out of scope.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

class HostileUaServer {
 public:
  explicit HostileUaServer(const std::string& mode) {
    const std::string script = std::string(VORTUNER_TESTS_DIR) + "/opc/hostile_ua_server.py";
    int out[2];
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      ::close(out[0]);
      ::close(out[1]);
      ::execlp("python3", "python3", script.c_str(), mode.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    char line[32] = {};
    std::size_t n = 0;
    while (n + 1 < sizeof line && ::read(out[0], line + n, 1) == 1 && line[n] != '\n') ++n;
    ::close(out[0]);
    url_ = "opc.tcp://127.0.0.1:" + std::string(line, n);
  }
  ~HostileUaServer() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  HostileUaServer(const HostileUaServer&) = delete;
  HostileUaServer& operator=(const HostileUaServer&) = delete;
  const std::string& Url() const { return url_; }

 private:
  pid_t pid_ = -1;
  std::string url_;
};
