#pragma once

#include <cstdlib>
#include <memory>
#include <type_traits>

// Owns a library handle and releases it with the library's own function.
template<auto release> struct Release {
    template<typename T> void operator()(T *handle) const { release(handle); }
};
template<typename Handle, auto release>
using Owned = std::unique_ptr<std::remove_pointer_t<Handle>, Release<release>>;

// Text libplist hands out is the caller's to free().
inline void freeMemory(char *memory)
{
    std::free(memory);
}
