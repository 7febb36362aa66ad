#include "system_memory.h"

#include <new>

#include <windows.h>

namespace rowlark::dedupe {

std::uint64_t AvailableMemory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullAvailPhys : 0;
}

SystemMemory::SystemMemory(std::size_t bytes) : bytes_(bytes) {
    data_ = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!data_) throw std::bad_alloc();
}

SystemMemory::~SystemMemory() {
    if (data_) VirtualFree(data_, 0, MEM_RELEASE);
}

// Large pages on Windows need a privilege that ordinary users do not hold: small pages it is.
void SystemMemory::preferHugePages() {}

} // namespace rowlark::dedupe
