#pragma once

#include <cstddef>
#include <mutex>
#include <span>
#include <string>

namespace torvel {

/// The standard output of one run, collected up to a ceiling. Past the ceiling nothing is kept at all,
/// so a caller never parses a truncated reading as if it were whole.
class OutputBox {
public:
    /// Keeps at most `ceiling` bytes; one more and the box overflows for good.
    explicit OutputBox(std::size_t ceiling) : ceiling_(ceiling) {}

    /// Adds a chunk, or drops it (and everything kept) once the ceiling would be passed.
    void append(std::span<const char> bytes);
    /// Whether the output ever went past the ceiling.
    bool overflowed() const;
    /// A copy of the bytes kept so far; empty after an overflow.
    std::string data() const;

private:
    mutable std::mutex lock_;  // the reader and the waiting caller may be different threads
    std::string data_;
    bool overflowed_ = false;
    std::size_t ceiling_;
};

}  // namespace torvel
