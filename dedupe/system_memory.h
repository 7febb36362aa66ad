// Memory taken from the system directly, and what the system has available: the two things the
// search for repeats asks of the operating system. One file per system implements it
// (system_memory_posix.cpp, system_memory_windows.cpp); CMake picks the one that is built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace rowlark::dedupe {

// The bytes of memory the system could give this process now; 0 when it cannot tell.
std::uint64_t AvailableMemory();

// Half the memory the system has available now; 1 GiB when it cannot tell.
std::uint64_t DefaultMemoryBudget();

// Zeroed memory straight from the system, given back to it whole when freed: what one read held
// is not still held by the next, as freed heap memory may be. Throws std::bad_alloc.
class SystemMemory {
public:
    SystemMemory() = default;
    explicit SystemMemory(std::size_t bytes);
    ~SystemMemory();
    SystemMemory(SystemMemory&& o) noexcept
        : data_(std::exchange(o.data_, nullptr)), bytes_(std::exchange(o.bytes_, 0)) {}
    SystemMemory& operator=(SystemMemory&& o) noexcept {
        std::swap(data_, o.data_);
        std::swap(bytes_, o.bytes_);
        return *this;
    }
    SystemMemory(const SystemMemory&) = delete;
    SystemMemory& operator=(const SystemMemory&) = delete;

    char* get() const { return static_cast<char*>(data_); }
    // Asks for huge pages for memory read at random, where the system has them (a hint only).
    void preferHugePages();

private:
    void* data_ = nullptr;
    std::size_t bytes_ = 0;
};

} // namespace rowlark::dedupe
