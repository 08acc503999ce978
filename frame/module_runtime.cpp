// SPDX-License-Identifier: MIT
// The little of the C++ runtime a module uses, so that no C++ standard library is linked into
// it: nothing of one runs when the module loads or stays behind when it unloads, and the module
// stays small. Linked into each module from a library of its own, whose symbols the module does
// not export; never into programs, whose own runtime serves them.

#include <cstddef>
#include <cstdlib>
#include <new>

// The module is built without exceptions: an allocation that cannot be met where the code has
// no way to go on ends the process, as an exception escaping into the host would.
void* operator new(std::size_t size)
{
    void* memory = std::malloc(size != 0 ? size : 1);
    if (memory == nullptr) {
        std::abort();
    }
    return memory;
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}

extern "C" void __cxa_pure_virtual()
{
    std::abort();
}

namespace std {

// What containers and their allocators call when asked for more than they can address, or
// when memory runs out.
void __throw_length_error(const char*)
{
    std::abort();
}

void __throw_bad_alloc()
{
    std::abort();
}

void __throw_bad_array_new_length()
{
    std::abort();
}

} // namespace std
