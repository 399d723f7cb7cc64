#include "device/notify.h"

#include <atomic>

namespace orvane {
namespace {
NullSink g_null_sink;
std::atomic<NotifySink*> g_sink{&g_null_sink};
}  // namespace

void SetNotifySink(NotifySink* sink) { g_sink.store(sink ? sink : &g_null_sink); }
NotifySink& Sink() { return *g_sink.load(); }

ScopedNotifySink::ScopedNotifySink(NotifySink* sink) : previous_(&Sink()) { SetNotifySink(sink); }
ScopedNotifySink::~ScopedNotifySink() { SetNotifySink(previous_); }

void PostFound(const ScanProgress& progress) { Sink().Found(progress); }

}  // namespace orvane
