// A buffer whose last byte sits right before an inaccessible page, so reading
// or writing even one byte past the end faults instead of passing unseen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace v77test {

class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t size) : m_size(size)
    {
        const size_t page = 4096;
        size_t dataPages = (size + page - 1) / page;
        if (dataPages == 0)
            dataPages = 1;
        m_mapBytes = (dataPages + 1) * page;
#if defined(_WIN32)
        void* p = VirtualAlloc(nullptr, m_mapBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        DWORD old = 0;
        if (!p || !VirtualProtect(static_cast<uint8_t*>(p) + dataPages * page, page, PAGE_NOACCESS, &old))
            throw std::runtime_error("VirtualAlloc failed");
        m_map = static_cast<uint8_t*>(p);
#else
        void* p = mmap(nullptr, m_mapBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::runtime_error("mmap failed");
        m_map = static_cast<uint8_t*>(p);
        if (mprotect(m_map + dataPages * page, page, PROT_NONE) != 0)
            throw std::runtime_error("mprotect failed");
#endif
        m_data = m_map + dataPages * page - size;
    }
    ~GuardedBuffer()
    {
#if defined(_WIN32)
        VirtualFree(m_map, 0, MEM_RELEASE);
#else
        munmap(m_map, m_mapBytes);
#endif
    }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    uint8_t* data() { return m_data; }
    const uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }
    void Fill(const uint8_t* src) { std::memcpy(m_data, src, m_size); }
    void Fill(uint8_t v) { std::memset(m_data, v, m_size); }

private:
    size_t m_size, m_mapBytes = 0;
    uint8_t* m_map = nullptr;
    uint8_t* m_data = nullptr;
};

} // namespace v77test
