#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace zebrik {

// The names of one card as the resource manager hands them out: a multi-string of whole
// names, each ended by a NUL, the list ended by an empty name, in at most the room the
// caller offers. A name that does not fit leaves out itself and every later one, so a later
// name never shows without the earlier ones.
class CardNameMultiString {
public:
    explicit CardNameMultiString(std::size_t room) : room_(room) {}

    // Adds a name as read from the list: invalid UTF-8 and control characters become
    // U+FFFD. An empty name is passed over. False once a name did not fit.
    bool Add(std::string_view name);
    // True once a name did not fit: nothing more can be added.
    bool Closed() const { return closed_; }
    // The longest name in bytes that can still fit (a name never gets shorter by cleaning).
    std::size_t MaxNameBytes() const;
    // Writes the multi-string into out, which must hold the room; returns the bytes written
    // (0 only when the room is 0).
    std::size_t CopyTo(std::span<char> out) const;

private:
    std::size_t room_;
    std::string names_;  // each name with its NUL, without the NUL that ends the list
    bool closed_ = false;
};

}  // namespace zebrik
