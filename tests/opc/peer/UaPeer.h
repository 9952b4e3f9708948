// The node-opcua test plant for tests: the address of the one CTest started, and a
// private instance that a test may kill.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

inline std::string UaPeerDir() {
  const char* build = std::getenv("VORTUNER_BINARY_DIR");
  return std::string(build ? build : "build") + "/ua-peer";
}

inline std::string ReadPort(const std::string& file) {
  std::ifstream in(file);
  std::string port;
  in >> port;
  return port;
}

// The address of the shared test plant.
inline std::string UaPeerUrl() { return "opc.tcp://127.0.0.1:" + ReadPort(UaPeerDir() + "/port"); }

// The address of the shared secured test plant, and its one user.
inline std::string UaSecurePeerUrl() {
  return "opc.tcp://127.0.0.1:" + ReadPort(UaPeerDir() + "/secure-port");
}
inline constexpr const char* UaSecurePeerUser = "inzenir";
inline constexpr const char* UaSecurePeerPassword = "Geslo-Zanka-7";

// A test plant of the test's own; stopped (killed) when it goes out of scope. With
// `securePki`, the secured plant with its certificate in that folder.
class PrivateUaPeer {
 public:
  explicit PrivateUaPeer(const std::string& securePki = "") {
    folder_ = UaPeerDir() + "/private-" + std::to_string(::getpid());
    std::filesystem::create_directories(folder_);
    const std::string portFile = folder_ + "/port";
    std::filesystem::remove(portFile);
    pid_ = ::fork();
    if (pid_ == 0) {
      const std::string script = UaPeerDir() + "/plant_server.js";
      if (securePki.empty())
        ::execlp("node", "node", script.c_str(), portFile.c_str(), static_cast<char*>(nullptr));
      else
        ::execlp("node", "node", script.c_str(), portFile.c_str(), "secure", securePki.c_str(),
                 static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 600 && !std::filesystem::exists(portFile); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    url_ = "opc.tcp://127.0.0.1:" + ReadPort(portFile);
  }
  ~PrivateUaPeer() {
    Kill();
    std::filesystem::remove_all(folder_);
  }
  const std::string& Url() const { return url_; }
  // The server dies at once, as a crashed or switched-off server does.
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  std::string folder_, url_;
  pid_t pid_ = -1;
};
