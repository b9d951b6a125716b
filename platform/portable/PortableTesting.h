// Test controls of the portable platform: reset the in-memory registry (tests seed and read
// it through the platform's own operations), refuse writes under a root, and make the task
// allocator fail.
#pragma once

#include "Platform.h"

namespace PortableTesting {

void ResetRegistry();
// Under `root`, the next `allowed` writes (deletions of keys too) succeed and every one after
// them is refused, as for want of rights.
void RefuseRegistryWritesAfter(Platform::TRegistryRoot root, int allowed);
// The next `count` task-allocator calls return null.
void FailTaskMemAllocs(int count);
// While set, the task allocator asks `fails` before every allocation and returns null when
// it answers true; null removes it.
void SetTaskMemAllocFailure(bool (*fails)());

} // namespace PortableTesting
