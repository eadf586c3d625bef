#include "platform/qt/background.h"

#include <QEventLoop>
#include <QThreadPool>

namespace platform::qt {

void wait_for(const std::function<void()>& job) {
    // One thread kept for the program's life: what it has once taken from
    // the system (its memory above all) serves the next picture too.
    static QThreadPool* const worker = [] {
        auto* pool = new QThreadPool;
        pool->setMaxThreadCount(1);
        pool->setExpiryTimeout(-1);
        return pool;
    }();
    QEventLoop loop;
    worker->start([&] {
        job();
        // Queued for the loop, which takes it as soon as it runs, even when
        // the job ends before it has started.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
}

}  // namespace platform::qt
