// faults.cpp - fault injection counters (see internal/faults.h).
#include "kernel/faults.h"

#include <atomic>

namespace plat {
namespace {

std::atomic<int> g_countdown[static_cast<int>(FaultKind::Count)];
std::atomic<bool> g_fired[static_cast<int>(FaultKind::Count)];

} // namespace

void FaultArm(FaultKind kind, int n)
{
    g_countdown[static_cast<int>(kind)] = n < 0 ? 0 : n;
    g_fired[static_cast<int>(kind)] = false;
}

bool FaultHit(FaultKind kind)
{
    auto &c = g_countdown[static_cast<int>(kind)];
    int v = c.load();
    while (v > 0) {
        if (c.compare_exchange_weak(v, v - 1)) {
            if (v == 1) {
                g_fired[static_cast<int>(kind)] = true;
                return true;
            }
            return false;
        }
    }
    return false;
}

bool FaultFired(FaultKind kind)
{
    return g_fired[static_cast<int>(kind)];
}

void FaultResetAll()
{
    for (int i = 0; i < static_cast<int>(FaultKind::Count); ++i) {
        g_countdown[i] = 0;
        g_fired[i] = false;
    }
}

} // namespace plat
