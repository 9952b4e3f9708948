#include "forms/OffThread.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <exception>
#include <memory>

bool RunOffWindowThread(QAbstractButton* cancel, const std::function<void()>& work,
                        std::function<void()> abandoned) {
  struct Shared {
    std::exception_ptr error;
    bool cancelled = false;
    std::function<void()> abandoned;
  };
  auto shared = std::make_shared<Shared>();
  shared->abandoned = std::move(abandoned);
  QThread* thread = QThread::create([shared, work] {
    try {
      work();
    } catch (...) {
      shared->error = std::current_exception();
    }
  });
  QEventLoop loop;
  QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
  // Whatever happens to the loop, the thread object goes once the work has ended; a
  // cancelled work's effects are undone then, on the window's thread.
  QObject::connect(thread, &QThread::finished, qApp, [thread, shared] {
    thread->deleteLater();
    if (shared->cancelled && shared->abandoned) shared->abandoned();
  });
  QMetaObject::Connection cancelling;
  if (cancel)
    cancelling = QObject::connect(cancel, &QAbstractButton::clicked, &loop, [&loop, shared] {
      shared->cancelled = true;
      loop.quit();
    });
  thread->start();
  loop.exec(QEventLoop::AllEvents);
  QObject::disconnect(cancelling);
  if (shared->cancelled) return false;
  thread->wait();
  if (shared->error) std::rethrow_exception(shared->error);
  return true;
}
