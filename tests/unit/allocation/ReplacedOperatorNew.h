// The program's own operator new and delete, for the allocation tests: every allocation goes
// through TestAllocation, which the including program defines (to count allocations, or to
// make one fail by throwing std::bad_alloc); the nothrow forms turn that into null. Include
// it in one file of a program only.
#pragma once

#include <cstdlib>
#include <new>

void* TestAllocation(std::size_t size);

void* operator new(std::size_t size) {
    return TestAllocation(size);
}
void* operator new[](std::size_t size) {
    return TestAllocation(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return TestAllocation(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
