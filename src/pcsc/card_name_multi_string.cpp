#include "pcsc/card_name_multi_string.h"

#include <algorithm>

#include "core/report/text.h"

namespace zebrik {
namespace {

// Beside a name: its own NUL and the empty name that ends the list.
constexpr std::size_t kEndBytes = 2;

}  // namespace

bool CardNameMultiString::Add(std::string_view name) {
    if (closed_) {
        return false;
    }
    if (name.empty()) {
        return true;  // an empty string would end the list early
    }
    const std::size_t before = names_.size();
    AppendUntrustedText(names_, name);
    if (names_.size() + kEndBytes > room_) {
        names_.resize(before);
        closed_ = true;
        return false;
    }
    names_.push_back('\0');
    return true;
}

std::size_t CardNameMultiString::MaxNameBytes() const {
    const std::size_t used = names_.size() + kEndBytes;
    return room_ > used ? room_ - used : 0;
}

std::size_t CardNameMultiString::CopyTo(std::span<char> out) const {
    if (room_ == 0 || out.size() < names_.size() + 1) {
        return 0;
    }
    std::copy(names_.begin(), names_.end(), out.begin());
    out[names_.size()] = '\0';
    return names_.size() + 1;
}

}  // namespace zebrik
