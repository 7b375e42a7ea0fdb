// The item cache: converted item lists per loaded description, item and
// structure number, kept from the first added description until the registry
// is closed.  Look-up is a linear scan in insertion order.
#include <cstdlib>
#include <new>

#include "keld_items_int.h"

CacheType *_Cache = nullptr;

CacheType::~CacheType()
{
    for (cache_element &element : _cache_elements)
        if (element.freeme)
            std::free(element.values);
}

void *CacheType::GetFromCache(const void *keld_ptr, KELD_DEFS what, KOMBRA_SHORT which) const
{
    for (const cache_element &element : _cache_elements)
        if (element.keld_ptr == keld_ptr && element.what == what && element.which == which)
            return element.values;
    return nullptr;
}

bool CacheType::AddToCache(const void *keld_ptr, KELD_DEFS what, KOMBRA_SHORT which, void *values, bool freeme)
{
    try {
        _cache_elements.push_back({keld_ptr, what, which, values, freeme});
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

void CacheType::FreeCacheElement(size_t index)
{
    if (index >= _cache_elements.size())
        return;
    if (_cache_elements[index].freeme)
        std::free(_cache_elements[index].values);
    _cache_elements.erase(_cache_elements.begin() + static_cast<std::ptrdiff_t>(index));
}

void CreateCache(void)
{
    if (_Cache == nullptr)
        _Cache = new (std::nothrow) CacheType;
}

void ClearCache(void)
{
    delete _Cache;
    _Cache = nullptr;
}

void KeldForgetCached(const void *keld_ptr)
{
    if (_Cache == nullptr)
        return;
    for (size_t i = _Cache->_cache_elements.size(); i-- > 0;)
        if (_Cache->_cache_elements[i].keld_ptr == keld_ptr)
            _Cache->FreeCacheElement(i);
}
