#pragma once

// Replaces the global operator new and delete of the test program whose one
// source file includes this: allocation number n on the calling thread can be
// made to fail (once, or from then on), and every block the thread gives back
// can be searched for a secret before it is freed. Both are off unless armed.

#include <malloc.h>

#include <cstdlib>
#include <new>
#include <string_view>

namespace hnastest {
inline thread_local long t_allocationsLeft = -1; // -1: off; n >= 0: n more succeed
inline thread_local bool t_failOnce = false;     // then off again
inline thread_local long t_allocationFailures = 0;
inline thread_local const char* t_secret = nullptr; // searched for in every block freed
inline thread_local bool t_secretFreed = false;
} // namespace hnastest

void* operator new(std::size_t size) {
    using namespace hnastest;
    if (t_allocationsLeft == 0) {
        ++t_allocationFailures;
        if (t_failOnce)
            t_allocationsLeft = -1;
        throw std::bad_alloc();
    }
    if (t_allocationsLeft > 0)
        --t_allocationsLeft;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
// The JSON reader allocates with the nothrow form: it must pair with the
// replaced delete as well.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept {
    using namespace hnastest;
    if (p != nullptr && t_secret != nullptr &&
        std::string_view(static_cast<const char*>(p), malloc_usable_size(p)).find(t_secret) !=
            std::string_view::npos)
        t_secretFreed = true;
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}
