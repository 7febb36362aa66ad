#include "system_memory.h"

#include <fstream>
#include <new>
#include <string>

#include <sys/mman.h>

namespace rowlark::dedupe {

// Linux tells what a new allocation could get without swapping in /proc/meminfo.
std::uint64_t AvailableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string name, unit;
    std::uint64_t kb = 0;
    while (meminfo >> name >> kb >> unit)
        if (name == "MemAvailable:") return kb * 1024;
    return 0;
}

SystemMemory::SystemMemory(std::size_t bytes) : bytes_(bytes) {
    data_ = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data_ == MAP_FAILED) {
        data_ = nullptr;
        throw std::bad_alloc();
    }
}

SystemMemory::~SystemMemory() {
    if (data_) ::munmap(data_, bytes_);
}

void SystemMemory::preferHugePages() {
#ifdef MADV_HUGEPAGE
    if (data_) ::madvise(data_, bytes_, MADV_HUGEPAGE);
#endif
}

} // namespace rowlark::dedupe
