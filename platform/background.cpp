#include "platform/background.h"

#include <QEventLoop>
#include <QThread>
#include <memory>

namespace platform {

void wait_for(const std::function<void()>& job) {
    const std::unique_ptr<QThread> thread(QThread::create(job));
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    // The thread may be done before the loop runs: its finished signal has
    // then been queued for the loop, or the loop is not needed at all.
    if (!thread->isFinished())
        loop.exec();
    thread->wait();
}

}  // namespace platform
