// Test controls of the portable platform: seed, inspect and reset the in-memory registry,
// refuse writes under a root, and make the task allocator fail.
#pragma once

#include "Platform.h"

#include <cstdint>
#include <string>
#include <vector>

namespace PortableTesting {

struct TRegistryEntry {
    std::u16string Key;
    std::u16string ValueName; // empty for a key's default value, and for a key without values
    Platform::TRegistryType Type;
    std::vector<std::uint8_t> Data;
    bool IsKeyOnly; // a key that holds no value
};

void ResetRegistry();
void RefuseRegistryWrites(Platform::TRegistryRoot root, bool refuse);
// Under `root`, the next `allowed` writes succeed and every one after them is refused.
void RefuseRegistryWritesAfter(Platform::TRegistryRoot root, int allowed);
// Every key and value under `root`, keys in case-insensitive order.
std::vector<TRegistryEntry> RegistryContents(Platform::TRegistryRoot root);

// The next `count` task-allocator calls return null.
void FailTaskMemAllocs(int count);

} // namespace PortableTesting
