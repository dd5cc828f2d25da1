// Single Python values and containers read the way the stock pybind11
// casters read them: the same objects accepted, the same calls into caller
// code in the same order. Two things differ on purpose. Every object is held
// by a reference of our own while caller code may run, so caller code that
// changes or frees an argument cannot leave us reading freed memory. And a
// MemoryError, or an exception that is no Exception (KeyboardInterrupt,
// SystemExit, ...), reaches the caller instead of being swallowed.
#pragma once

#include <Python.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <string>

namespace quorin::bindings {

// The pending error, cleared as a failed conversion clears it, unless it
// must reach the caller: then it is thrown as error_already_set.
inline void clear_conversion_error() {
    if (PyErr_ExceptionMatches(PyExc_MemoryError) || !PyErr_ExceptionMatches(PyExc_Exception)) {
        throw pybind11::error_already_set();
    }
    PyErr_Clear();
}

// A strong reference for the duration of a scope.
class Held {
public:
    explicit Held(PyObject* object) : object_(object) { Py_XINCREF(object_); }
    // Takes over a new reference; a null one means a Python error is set.
    static Held steal(PyObject* object) {
        if (object == nullptr) {
            throw pybind11::error_already_set();
        }
        Held held(nullptr);
        held.object_ = object;
        return held;
    }
    Held(Held&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    Held& operator=(Held&&) = delete;
    ~Held() { Py_XDECREF(object_); }
    PyObject* get() const { return object_; }

private:
    PyObject* object_;
};

// Reads a number as the stock casters do: `read(value)` first, which may
// run the object's hooks; when that fails for a number, once more through
// `convert(value)` (float() or int()), whose result `accepts` must take.
template <class T, class Read, class Accepts>
bool read_number(PyObject* value, T& out, Read read, PyObject* (*convert)(PyObject*), Accepts accepts) {
    const Held held(value);
    out = read(value);
    if (!(out == -1 && PyErr_Occurred())) {
        return true;
    }
    clear_conversion_error();
    if (!PyNumber_Check(value)) {
        return false;
    }
    PyObject* converted = convert(value);
    if (converted == nullptr) {
        clear_conversion_error();
        return false;
    }
    const Held as_number = Held::steal(converted);
    if (!accepts(converted)) {
        return false;
    }
    out = read(converted);
    if (out == -1 && PyErr_Occurred()) {
        clear_conversion_error();
        return false;
    }
    return true;
}

// A float argument: float, int, or anything with __float__ or __index__.
inline bool to_double(PyObject* value, double& out) {
    if (PyFloat_CheckExact(value)) {
        out = PyFloat_AS_DOUBLE(value);
        return true;
    }
    return read_number(value, out, PyFloat_AsDouble, PyNumber_Float, [](PyObject*) { return true; });
}

// A signed 64-bit argument: int (bool included), anything with __index__,
// or a number that int() converts; never a float.
inline bool to_int64(PyObject* value, std::int64_t& out) {
    if (PyFloat_Check(value)) {
        return false;
    }
    const auto read = [](PyObject* number) -> std::int64_t { return PyLong_AsLongLong(number); };
    return read_number(value, out, read, PyNumber_Long, [](PyObject* converted) {
        return !PyFloat_Check(converted) && (PyLong_Check(converted) || PyIndex_Check(converted));
    });
}

// Raised for a container whose __len__ claims more items than memory could
// ever hold, and for memory running out while one is read.
[[noreturn]] inline void throw_out_of_memory(const std::string& argument) {
    PyErr_Format(PyExc_MemoryError, "%s: not enough memory to convert it", argument.c_str());
    throw pybind11::error_already_set();
}

// Room to reserve for a sequence that claims `length` items: a lying
// __len__ must not make us allocate more than its items need.
inline std::size_t reservation_for(Py_ssize_t length, const std::string& argument) {
    if (static_cast<std::size_t>(length) > PY_SSIZE_T_MAX / sizeof(PyObject*)) {
        throw_out_of_memory(argument);
    }
    constexpr std::size_t most_trusted = 1 << 16;
    return std::min(static_cast<std::size_t>(length), most_trusted);
}

// A hint that `object` is read soon. Spelled out on x86, where g++ drops
// the builtin for these addresses once assertions are off.
inline void prefetch(const PyObject* object) {
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("prefetcht0 %0" : : "m"(*reinterpret_cast<const char*>(object)));
#else
    __builtin_prefetch(object);
#endif
}

// Items of a large list lie scattered in memory, and reading one waits for
// memory: ask for the items some way ahead, and for the first element of
// the (voter, utility) tuples among them, which are read next.
inline void prefetch_ahead(PyObject* list, Py_ssize_t i) {
    constexpr Py_ssize_t item_distance = 16;
    constexpr Py_ssize_t element_distance = 8;
    const Py_ssize_t size = PyList_GET_SIZE(list);
    if (i + item_distance < size) {
        prefetch(PyList_GET_ITEM(list, i + item_distance));
    }
    if (i + element_distance < size) {
        PyObject* ahead = PyList_GET_ITEM(list, i + element_distance);
        if (PyTuple_CheckExact(ahead) && PyTuple_GET_SIZE(ahead) > 0) {
            prefetch(PyTuple_GET_ITEM(ahead, 0));
        }
    }
}

// Calls `each(item)` for the items of a sequence argument, as the stock
// vector conversion accepts and visits them: sequences other than str and
// bytes, and generators, sets and views, which are first consumed whole
// into a tuple. `reserve(n)` hears the length first. False when the object
// is no such sequence or `each` refuses an item; errors raised while
// iterating propagate.
template <class Reserve, class Each>
bool for_each_item(PyObject* object, const std::string& argument, Reserve&& reserve, Each&& each) {
    if (!pybind11::detail::object_is_convertible_to_std_vector(object)) {
        return false;
    }
    const auto each_of_tuple = [&](PyObject* tuple) {
        reserve(static_cast<std::size_t>(PyTuple_GET_SIZE(tuple)));
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(tuple); ++i) {
            if (!each(PyTuple_GET_ITEM(tuple, i))) {
                return false;
            }
        }
        return true;
    };
    if (!PySequence_Check(object)) {
        const Held tuple = Held::steal(PySequence_Tuple(object));
        return each_of_tuple(tuple.get());
    }
    if (PyTuple_CheckExact(object)) {
        return each_of_tuple(object);
    }
    if (PyList_CheckExact(object)) {
        reserve(static_cast<std::size_t>(PyList_GET_SIZE(object)));
        // Caller code run by `each` may resize the list: as its iterator
        // does, look at the size again before every item.
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(object); ++i) {
            prefetch_ahead(object, i);
            const Held item(PyList_GET_ITEM(object, i));
            if (!each(item.get())) {
                return false;
            }
        }
        return true;
    }
    const Py_ssize_t length = PySequence_Size(object);
    if (length < 0) {
        throw pybind11::error_already_set();
    }
    reserve(reservation_for(length, argument));
    const Held iterator = Held::steal(PyObject_GetIter(object));
    while (PyObject* next = PyIter_Next(iterator.get())) {
        const Held item = Held::steal(next);
        if (!each(item.get())) {
            return false;
        }
    }
    if (PyErr_Occurred()) {
        throw pybind11::error_already_set();
    }
    return true;
}

// Whether the stock map conversion accepts `object`: a dict, an object of
// the mapping protocol with a callable `items`, or a collections.abc.Mapping.
inline bool converts_as_mapping(PyObject* object) {
    if (PyDict_Check(object)) {
        return true;
    }
    if (PyMapping_Check(object)) {
        PyObject* items = PyObject_GetAttrString(object, "items");
        if (items != nullptr) {
            const Held held = Held::steal(items);
            if (PyCallable_Check(items)) {
                return true;
            }
        } else {
            clear_conversion_error();
        }
    }
    const Held abc = Held::steal(PyImport_ImportModule("collections.abc"));
    const Held mapping = Held::steal(PyObject_GetAttrString(abc.get(), "Mapping"));
    const int is_mapping = PyObject_IsInstance(object, mapping.get());
    if (is_mapping < 0) {
        throw pybind11::error_already_set();
    }
    return is_mapping == 1;
}

// Calls `each(key, value)` for the entries of a mapping argument in the
// order the stock map conversion visits them: a dict (or a subclass) as it
// is stored, any other mapping through a dict of its items(). `reserve(n)`
// hears the number of entries first. False when the object is no mapping
// or `each` refuses an entry; errors raised while listing items propagate.
template <class Reserve, class Each>
bool for_each_entry(PyObject* object, Reserve&& reserve, Each&& each) {
    if (!converts_as_mapping(object)) {
        return false;
    }
    const auto each_of_dict = [&](PyObject* dict) {
        reserve(static_cast<std::size_t>(PyDict_Size(dict)));
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(dict, &position, &key, &value)) {
            // The dict lends these; caller code run by `each` may drop them.
            const Held held_key(key);
            const Held held_value(value);
            if (!each(key, value)) {
                return false;
            }
        }
        return true;
    };
    if (PyDict_Check(object)) {
        return each_of_dict(object);
    }
    const Held items = Held::steal(PyMapping_Items(object));
    const Held dict =
        Held::steal(PyObject_CallOneArg(reinterpret_cast<PyObject*>(&PyDict_Type), items.get()));
    return each_of_dict(dict.get());
}

}  // namespace quorin::bindings
