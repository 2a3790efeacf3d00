// Storage described once, both taken and counted.  A stage's reserve
// function names each array it needs through a storage object; run with
// storage::taking() it obtains them, run with storage::counting() on an empty
// object it only adds up their bytes.  The memory a run is told it needs is
// thus always what it asks for, and a run whose storage cannot be had can
// say how much that was.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace routines {

class storage {
public:
    static storage taking() { return storage(true); }
    static storage counting() { return storage(false); }

    // v holds n elements (value-initialised, or each `value`).
    template <class T>
    void take(std::vector<T>& v, std::size_t n)
    {
        bytes_ += n * sizeof(T);
        if (taking_) v.assign(n, T{});
    }
    template <class T>
    void take(std::vector<T>& v, std::size_t n, const T& value)
    {
        bytes_ += n * sizeof(T);
        if (taking_) v.assign(n, value);
    }
    // v empty, with room for n elements that will be appended without
    // reallocation.
    template <class T>
    void room(std::vector<T>& v, std::size_t n)
    {
        bytes_ += n * sizeof(T);
        if (taking_) {
            v.clear();
            v.reserve(n);
        }
    }
    void room(std::string& s, std::size_t n)
    {
        bytes_ += n;
        if (taking_) {
            s.clear();
            s.reserve(n);
        }
    }
    // Bytes held beside the arrays (a fixed-size object).
    void add(std::size_t bytes) { bytes_ += bytes; }

    bool takes() const { return taking_; }
    std::size_t bytes() const { return bytes_; }

private:
    explicit storage(bool taking) : taking_(taking) {}
    bool taking_;
    std::size_t bytes_ = 0;
};

}  // namespace routines
