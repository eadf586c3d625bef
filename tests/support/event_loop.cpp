#include "tests/support/event_loop.h"

#include <QCoreApplication>
#include <QTimer>

namespace testing {

int exit_status_after(std::function<void()> act) {
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    bound.start(20000);
    QMetaObject::invokeMethod(qApp, std::move(act), Qt::QueuedConnection);
    return QCoreApplication::exec();
}

}  // namespace testing
