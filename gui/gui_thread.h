#pragma once
// Workers reach widgets only through the GUI thread. A call from a worker
// waits until the GUI thread has run it, so whatever it refers to on the
// worker's stack stays valid; a call from the GUI thread runs at once.

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <functional>

namespace orvane::gui {

inline bool OnGuiThread() {
  return QCoreApplication::instance() &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

template <class F>
void RunOnGui(F&& f) {
  if (OnGuiThread() || !QCoreApplication::instance()) {
    f();
    return;
  }
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::forward<F>(f),
                            Qt::BlockingQueuedConnection);
}

// For progress that the worker need not wait for.
template <class F>
void PostToGui(F&& f) {
  if (OnGuiThread() || !QCoreApplication::instance()) {
    f();
    return;
  }
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::forward<F>(f),
                            Qt::QueuedConnection);
}

// Text conversions between the core's UTF-8 and Qt.
inline QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string S(const QString& s) { return s.toStdString(); }

}  // namespace orvane::gui
