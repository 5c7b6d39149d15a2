// SPDX-License-Identifier: MIT
// Walking two sequences ordered by the same 64-bit key side by side: the
// index builder's maps and lists all follow the name hash.
#pragma once

#include <cstdint>

namespace NSCorvane
{

// Moves it past every entry whose key (first) is below uKey and returns it:
// the entry of uKey, if there is one, or the next after it.
template <class Iterator> Iterator SkipBelowKey(Iterator it, Iterator itEnd, uint64_t uKey)
{
    while (it != itEnd && it->first < uKey)
    {
        ++it;
    }
    return it;
}

} // namespace NSCorvane
