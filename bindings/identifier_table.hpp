// Identifiers read from Python objects, interned to dense slots 0, 1, 2, ...
// in order of first sight without copying their bytes.
//
// An identifier is a str (its UTF-8 bytes), bytes or bytearray, compared
// byte for byte. The table is keyed by the interpreter's own hash of those
// bytes, which is randomised per process, so no choice of identifiers makes
// lookups slow; a str's hash is cached in the object. The table keeps a
// reference to one object per identifier, which keeps its bytes alive and
// makes a repeated object (the usual case) match by identity alone.
#pragma once

#include <Python.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "python_values.hpp"

extern "C" {
// The hash CPython gives bytes, and ASCII str, of these contents.
PyAPI_FUNC(Py_hash_t) _Py_HashBytes(const void* data, Py_ssize_t size);
}

namespace quorin::bindings {

// An identifier's bytes and their hash, valid while its object lives
// unchanged.
struct Identifier {
    std::string_view bytes;
    std::uint64_t hash;
};

// The identifier `object` stands for; none for any other type, or for a
// str that is not valid UTF-8.
inline std::optional<Identifier> read_identifier(PyObject* object) {
    if (PyUnicode_Check(object)) {
        if (PyUnicode_CheckExact(object) && PyUnicode_IS_COMPACT_ASCII(object)) {
            // The str's own cached hash is the hash of its bytes.
            const auto* ascii = reinterpret_cast<PyASCIIObject*>(object);
            const std::string_view bytes(static_cast<const char*>(PyUnicode_DATA(object)),
                                         static_cast<std::size_t>(ascii->length));
            Py_hash_t hash = ascii->hash;
            if (hash == -1) {
                hash = PyObject_Hash(object);
            }
            return Identifier{bytes, static_cast<std::uint64_t>(hash)};
        }
        Py_ssize_t size = 0;
        const char* data = PyUnicode_AsUTF8AndSize(object, &size);
        if (data == nullptr) {
            clear_conversion_error();
            return std::nullopt;
        }
        return Identifier{{data, static_cast<std::size_t>(size)},
                          static_cast<std::uint64_t>(_Py_HashBytes(data, size))};
    }
    const char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_Check(object)) {
        data = PyBytes_AS_STRING(object);
        size = PyBytes_GET_SIZE(object);
    } else if (PyByteArray_Check(object)) {
        data = PyByteArray_AS_STRING(object);
        size = PyByteArray_GET_SIZE(object);
    } else {
        return std::nullopt;
    }
    return Identifier{{data, static_cast<std::size_t>(size)},
                      static_cast<std::uint64_t>(_Py_HashBytes(data, size))};
}

class IdentifierTable {
public:
    static constexpr std::uint32_t absent = 0xFFFFFFFFu;

    IdentifierTable() { rebuild(capacity_for(0)); }
    IdentifierTable(const IdentifierTable&) = delete;
    IdentifierTable& operator=(const IdentifierTable&) = delete;
    ~IdentifierTable() {
        for (const Cell& cell : cells_) {
            Py_XDECREF(cell.object);
        }
    }

    // Makes room for `count` identifiers without rehashing.
    void reserve(std::size_t count) {
        if (capacity_for(count) > cells_.size()) {
            rebuild(capacity_for(count));
        }
    }

    std::size_t size() const { return size_; }

    // The slot of `id`, read from `object`, or absent.
    std::uint32_t find(PyObject* object, const Identifier& id) const {
        const auto tag = static_cast<std::uint32_t>(id.hash);
        for (std::size_t i = home(tag);; i = next(i)) {
            const Cell& cell = cells_[i];
            if (cell.object == nullptr) {
                return absent;
            }
            if (matches(cell, object, tag, id.bytes)) {
                return cell.slot;
            }
        }
    }

    // The slot of `id`, read from `object`; a new identifier takes the
    // next slot, and the table keeps `object` (or, for a bytearray, which
    // caller code may change later, a bytes copy) alive.
    std::uint32_t intern(PyObject* object, const Identifier& id, bool& is_new) {
        const auto tag = static_cast<std::uint32_t>(id.hash);
        std::size_t i = home(tag);
        for (;; i = next(i)) {
            const Cell& cell = cells_[i];
            if (cell.object == nullptr) {
                break;
            }
            if (matches(cell, object, tag, id.bytes)) {
                is_new = false;
                return cell.slot;
            }
        }
        if (size_ == absent - 1) {
            throw std::length_error("more than 2^32 - 2 distinct identifiers");
        }
        PyObject* kept = object;
        if (PyByteArray_Check(object)) {
            kept = PyBytes_FromStringAndSize(id.bytes.data(), static_cast<Py_ssize_t>(id.bytes.size()));
            if (kept == nullptr) {
                throw pybind11::error_already_set();
            }
        } else {
            Py_INCREF(kept);
        }
        const auto slot = static_cast<std::uint32_t>(size_++);
        cells_[i] = {kept, tag, slot};
        is_new = true;
        if (capacity_for(size_) > cells_.size()) {
            rebuild(capacity_for(2 * size_));
        }
        return slot;
    }

    // The object kept for every slot, in slot order.
    std::vector<PyObject*> objects_by_slot() const {
        std::vector<PyObject*> objects(size_);
        for (const Cell& cell : cells_) {
            if (cell.object != nullptr) {
                objects[cell.slot] = cell.object;
            }
        }
        return objects;
    }

private:
    // 16 bytes: the low half of the hash is enough to place and to filter.
    struct Cell {
        PyObject* object;  // null where empty
        std::uint32_t tag;
        std::uint32_t slot;
    };

    // At most three quarters full; any size, so that a table sized for
    // the voters wastes little memory.
    static std::size_t capacity_for(std::size_t count) { return count + count / 3 + 16; }

    std::size_t home(std::uint32_t tag) const {
        return static_cast<std::size_t>((static_cast<std::uint64_t>(tag) * cells_.size()) >> 32);
    }
    std::size_t next(std::size_t i) const { return i + 1 == cells_.size() ? 0 : i + 1; }

    static std::string_view bytes_of(PyObject* kept) {
        if (PyBytes_Check(kept)) {
            return {PyBytes_AS_STRING(kept), static_cast<std::size_t>(PyBytes_GET_SIZE(kept))};
        }
        // A kept str has been read once already, so its UTF-8 form exists.
        Py_ssize_t size = 0;
        const char* data = PyUnicode_AsUTF8AndSize(kept, &size);
        return {data, static_cast<std::size_t>(size)};
    }

    static bool matches(const Cell& cell, PyObject* object, std::uint32_t tag, std::string_view bytes) {
        return cell.object == object || (cell.tag == tag && bytes_of(cell.object) == bytes);
    }

    void rebuild(std::size_t capacity) {
        std::vector<Cell> old(capacity, Cell{nullptr, 0, 0});
        old.swap(cells_);
        for (const Cell& cell : old) {
            if (cell.object != nullptr) {
                std::size_t i = home(cell.tag);
                while (cells_[i].object != nullptr) {
                    i = next(i);
                }
                cells_[i] = cell;
            }
        }
    }

    std::vector<Cell> cells_;
    std::size_t size_ = 0;
};

}  // namespace quorin::bindings
