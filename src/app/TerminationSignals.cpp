#include "app/TerminationSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QWidget>
#include <cerrno>

namespace {

int signalPipe[2] = {-1, -1};  // read end, write end; made once, kept for the process

void OnTerminationSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

void CloseOnTerminationSignals(QWidget& window) {
  if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
    char bytes[16];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    window.close();
  });
  struct sigaction a {};
  a.sa_handler = OnTerminationSignal;
  a.sa_flags = SA_RESETHAND | SA_RESTART;
  sigemptyset(&a.sa_mask);
  ::sigaction(SIGTERM, &a, nullptr);
  ::sigaction(SIGINT, &a, nullptr);
}
