// Voter identifiers interned to dense slots 0, 1, 2, ... in order of first
// sight. An open-addressing table of 4-byte entries: interning a large
// election costs one hash per pair and far less memory than a node-based map.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace quorin::detail {

struct VoterSlots {
    std::vector<std::string_view> names;  // by slot
    std::vector<std::uint32_t> table;     // slot + 1, or 0 where empty

    explicit VoterSlots(std::size_t expected) {
        std::size_t size = 16;
        while (size < 2 * expected) {
            size *= 2;
        }
        table.assign(size, 0);
        names.reserve(expected);
    }

    // The slot of `name`, which gets the next slot when it is new.
    std::uint32_t intern(std::string_view name) {
        const std::size_t mask = table.size() - 1;
        for (std::size_t i = std::hash<std::string_view>{}(name) & mask;; i = (i + 1) & mask) {
            const std::uint32_t entry = table[i];
            if (entry == 0) {
                return add(name, i);
            }
            if (names[entry - 1] == name) {
                return entry - 1;
            }
        }
    }

private:
    std::uint32_t add(std::string_view name, std::size_t at) {
        if (names.size() >= 0xFFFFFFFEu) {
            throw std::length_error("equal shares: more than 2^32 - 2 voters");
        }
        const auto slot = static_cast<std::uint32_t>(names.size());
        names.push_back(name);
        table[at] = slot + 1;
        if (2 * names.size() > table.size()) {
            grow();
        }
        return slot;
    }

    // Doubles the table, keeping it at most half full.
    void grow() {
        std::vector<std::uint32_t> old(table.size() * 2, 0);
        old.swap(table);
        const std::size_t mask = table.size() - 1;
        for (std::uint32_t entry : old) {
            if (entry == 0) {
                continue;
            }
            std::size_t i = std::hash<std::string_view>{}(names[entry - 1]) & mask;
            while (table[i] != 0) {
                i = (i + 1) & mask;
            }
            table[i] = entry;
        }
    }
};

}  // namespace quorin::detail
