#include "Platform/Linux/Helpers/OutputBox.h"

namespace torvel {

void OutputBox::append(std::span<const char> bytes) {
    const std::lock_guard guard(lock_);
    if (overflowed_) return;
    if (data_.size() + bytes.size() > ceiling_) {
        overflowed_ = true;
        std::string().swap(data_);  // give the memory back, not just the length
        return;
    }
    data_.append(bytes.data(), bytes.size());
}

bool OutputBox::overflowed() const {
    const std::lock_guard guard(lock_);
    return overflowed_;
}

std::string OutputBox::data() const {
    const std::lock_guard guard(lock_);
    return data_;
}

}  // namespace torvel
