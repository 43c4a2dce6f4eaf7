#pragma once
// Counts what keeps the server library in use: live objects and server locks.

#include <atomic>

namespace scrivo::module {

inline std::atomic<long> g_liveObjects{0};
inline std::atomic<long> g_serverLocks{0};

inline bool CanUnload() { return g_liveObjects.load() == 0 && g_serverLocks.load() == 0; }

}  // namespace scrivo::module
