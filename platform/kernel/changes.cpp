// changes.cpp - the device's change notices: one listener, called on the
// thread that made the change, after the change.
#include "kernel/changes.h"
#include "kernel/threadlock.h"

#include <atomic>
#include <mutex>

namespace plat {
namespace {

ThreadLock g_lock;
ChangeListener g_listener;
std::atomic<bool> g_wanted{false};

} // namespace

void ChangesSubscribe(ChangeListener listener)
{
    std::lock_guard<ThreadLock> guard(g_lock);
    g_listener = std::move(listener);
    g_wanted = static_cast<bool>(g_listener);
}

bool ChangesWanted()
{
    return g_wanted;
}

void ChangesPublish(const DeviceChange &change)
{
    ChangeListener listener;
    {
        std::lock_guard<ThreadLock> guard(g_lock);
        listener = g_listener;
    }
    if (listener)
        listener(change);
}

const char *ChangeOpName(DeviceChange::Op op)
{
    static const char *const kNames[] = {"create",     "replace",    "delete",    "mkdir",       "rmdir",
                                         "key-create", "key-delete", "value-set", "value-delete"};
    return kNames[op];
}

} // namespace plat
