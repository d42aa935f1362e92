#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>

#include "Models/ActivationReason.h"

namespace torvel {

/// A set of activation reasons kept as one bit per reason, so building and copying it never allocates
/// (the keep-awake decision builds one on every re-evaluation). Iterates in declaration order.
class ReasonSet {
public:
    /// Walks the set bits from the lowest; dereferences into kAllActivationReasons, which lives forever.
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = ActivationReason;
        using difference_type = std::ptrdiff_t;
        using pointer = const ActivationReason*;
        using reference = const ActivationReason&;

        /// The end iterator.
        constexpr Iterator() = default;
        /// An iterator at the lowest reason in `bits`.
        constexpr explicit Iterator(std::uint8_t bits) : bits_(bits) {}

        /// The reason at the lowest remaining bit.
        constexpr reference operator*() const { return kAllActivationReasons[std::countr_zero(bits_)]; }
        /// Address of the reason at the lowest remaining bit.
        constexpr pointer operator->() const { return &**this; }
        /// Drops the lowest remaining bit.
        constexpr Iterator& operator++() {
            bits_ &= static_cast<std::uint8_t>(bits_ - 1);
            return *this;
        }
        /// Post-increment.
        constexpr Iterator operator++(int) {
            Iterator before = *this;
            ++*this;
            return before;
        }
        /// Same remaining bits.
        friend constexpr bool operator==(Iterator, Iterator) = default;

    private:
        std::uint8_t bits_ = 0;
    };

    using value_type = ActivationReason;
    using key_type = ActivationReason;
    using size_type = std::size_t;
    using iterator = Iterator;
    using const_iterator = Iterator;

    /// The empty set.
    constexpr ReasonSet() = default;
    /// The listed reasons; repeats are harmless.
    constexpr ReasonSet(std::initializer_list<ActivationReason> reasons) {
        for (ActivationReason reason : reasons) insert(reason);
    }
    /// The reasons in [first, last).
    template <std::input_iterator It, std::sentinel_for<It> End>
    constexpr ReasonSet(It first, End last) {
        for (; first != last; ++first) insert(*first);
    }

    /// Adds `reason`; true when it was not there yet.
    constexpr bool insert(ActivationReason reason) {
        const bool added = !contains(reason);
        bits_ |= bit(reason);
        return added;
    }
    /// Removes `reason`; how many were removed (0 or 1), as std::set answers.
    constexpr size_type erase(ActivationReason reason) {
        const size_type removed = count(reason);
        bits_ &= static_cast<std::uint8_t>(~bit(reason));
        return removed;
    }
    /// Removes every reason.
    constexpr void clear() { bits_ = 0; }

    /// True when `reason` is in the set.
    constexpr bool contains(ActivationReason reason) const { return (bits_ & bit(reason)) != 0; }
    /// 1 when `reason` is in the set, 0 otherwise.
    constexpr size_type count(ActivationReason reason) const { return contains(reason) ? 1 : 0; }
    /// True when no reason is in the set.
    constexpr bool empty() const { return bits_ == 0; }
    /// How many reasons are in the set.
    constexpr size_type size() const { return static_cast<size_type>(std::popcount(bits_)); }

    /// The lowest reason in declaration order.
    constexpr Iterator begin() const { return Iterator(bits_); }
    /// Past the highest reason.
    constexpr Iterator end() const { return Iterator(); }

    /// Same reasons.
    friend constexpr bool operator==(ReasonSet, ReasonSet) = default;

private:
    static_assert(kAllActivationReasons.size() <= 8, "one bit per reason must fit the mask");
    static_assert(
        [] {
            for (std::size_t i = 0; i < kAllActivationReasons.size(); ++i) {
                if (static_cast<std::size_t>(kAllActivationReasons[i]) != i) return false;
            }
            return true;
        }(),
        "iteration reads a reason back from its bit index");

    static constexpr std::uint8_t bit(ActivationReason reason) {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(reason));
    }

    std::uint8_t bits_ = 0;
};

}  // namespace torvel
