/* Memory of the sweep model: every record and array it hands to a caller is
 * taken with malloc (calloc) and released with free, so that a caller who
 * frees a sweep set's pointer array, a sweep or cut record or an array of
 * a record as the interface says uses the right allocator.  Private to the
 * sweep library. */
#pragma once

#include <cstddef>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>

namespace sweep_alloc {

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
/* Owns one malloc'd record or array until released. */
template <class T>
using MallocPtr = std::unique_ptr<T, FreeDeleter>;

/* A malloc'd copy of init; null when memory runs out.  Only for plain
 * records, which free releases without running a destructor. */
template <class T>
T *NewRecord(const T &init = T{})
{
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
    void *p = std::malloc(sizeof(T));
    return p != nullptr ? new (p) T(init) : nullptr;
}

/* An array of n elements (room for one at least, so that null always means
 * no memory), zeroed or left as malloc gives it; null when n is negative
 * or too large. */
template <class T>
T *NewArray(long long n, bool zeroed = false)
{
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
    if (n < 0 || static_cast<unsigned long long>(n) > std::numeric_limits<std::size_t>::max() / sizeof(T))
        return nullptr;
    const std::size_t count = n > 0 ? static_cast<std::size_t>(n) : 1;
    return static_cast<T *>(zeroed ? std::calloc(count, sizeof(T)) : std::malloc(count * sizeof(T)));
}

} // namespace sweep_alloc
