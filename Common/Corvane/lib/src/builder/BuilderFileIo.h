// SPDX-License-Identifier: MIT
// Whole-file reads for the builder: source files and staged packages.
#pragma once

#include "platform/PlatformMemory.h"
#include "platform/PlatformThread.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace NSCorvane
{

enum class ReadWholeResult
{
    Ok,
    OpenFailed, // missing or not openable
    TooLarge,   // more than uMaxSize bytes
    ReadFailed,
};

// Leaves bytes added by resize uninitialised: a buffer that a read fills at once
// need not be zeroed first (zeroing showed up as a sizeable share of packing).
// Large buffers come from the platform's large blocks, which fault in far
// fewer pages when a kept read buffer first grows to a big file.
template <typename T> struct UninitAllocator : std::allocator<T>
{
    template <typename U> struct rebind
    {
        using other = UninitAllocator<U>;
    };
    UninitAllocator() = default;
    template <typename U> UninitAllocator(const UninitAllocator<U>&) noexcept {}
    static constexpr size_t kLargeBytes = size_t{4} << 20;
    T* allocate(size_t n)
    {
        if (n > SIZE_MAX / sizeof(T))
        {
            throw std::bad_alloc();
        }
        if (n * sizeof(T) < kLargeBytes)
        {
            return std::allocator<T>::allocate(n);
        }
        void* pv = CorvanePlatform::AllocLargeBlock(n * sizeof(T));
        if (!pv)
        {
            throw std::bad_alloc();
        }
        return static_cast<T*>(pv);
    }
    void deallocate(T* p, size_t n) noexcept
    {
        if (n * sizeof(T) < kLargeBytes)
        {
            std::allocator<T>::deallocate(p, n);
        }
        else
        {
            CorvanePlatform::FreeLargeBlock(p, n * sizeof(T));
        }
    }
    template <typename U> void construct(U* p) noexcept(std::is_nothrow_default_constructible<U>::value)
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args> void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

using ReadBuffer = std::vector<uint8_t, UninitAllocator<uint8_t>>;

// The read buffer a thread keeps between files, so its pages are not faulted in
// anew for every file. A rare huge file does not leave it that large: on
// leaving scope it is given back when it grew past kKeptReadBuffer.
constexpr size_t kKeptReadBuffer = size_t{64} << 20;
class ThreadReadBuffer
{
public:
    ThreadReadBuffer() : m_vec(Kept()) {}
    ~ThreadReadBuffer()
    {
        if (m_vec.capacity() > kKeptReadBuffer)
        {
            ReadBuffer().swap(m_vec);
        }
    }
    ThreadReadBuffer(const ThreadReadBuffer&) = delete;
    ThreadReadBuffer& operator=(const ThreadReadBuffer&) = delete;
    ReadBuffer& Get() { return m_vec; }

private:
    static ReadBuffer& Kept() { return CorvanePlatform::ThreadObject<ReadBuffer>(); }
    ReadBuffer& m_vec;
};

// Reads the whole file into vecOut (replaced). A file that grows while it is
// read is taken as far as it goes, up to uMaxSize.
ReadWholeResult ReadWholeFile(const std::string& strPath, std::vector<uint8_t>& vecOut, uint64_t uMaxSize);
// The same into a buffer that keeps its capacity between calls.
ReadWholeResult ReadWholeFile(const std::string& strPath, ReadBuffer& vecOut, uint64_t uMaxSize);

} // namespace NSCorvane
