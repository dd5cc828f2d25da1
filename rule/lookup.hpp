// Map reads that fail the same way whatever the standard library's version.
#pragma once

#include <stdexcept>

namespace quorin::detail {

// The value under `key`; a missing key throws std::out_of_range with the
// message "_Map_base::at" (newer libstdc++ says "unordered_map::at"), and
// reading never adds a key.
template <class Map, class Key>
const typename Map::mapped_type& lookup(const Map& map, const Key& key) {
    const auto entry = map.find(key);
    if (entry == map.end()) {
        throw std::out_of_range("_Map_base::at");
    }
    return entry->second;
}

}  // namespace quorin::detail
