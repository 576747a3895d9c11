#pragma once

#include <cstdint>
#include <utility>
#include <variant>
#include <vector>

#include "platform/nbt/NbtError.h"

using NbtBytes = std::vector<uint8_t>;

// A decoded or encoded value, or the reason there is none. Value() must only
// be called when Ok() is true.
template <class T>
class NbtResult {
public:
    NbtResult(T value) : m_state(std::move(value)) {}
    NbtResult(NbtError error) : m_state(error) {}

    bool Ok() const { return std::holds_alternative<T>(m_state); }
    explicit operator bool() const { return Ok(); }
    const T& Value() const& { return std::get<T>(m_state); }
    T& Value() & { return std::get<T>(m_state); }
    T&& Value() && { return std::get<T>(std::move(m_state)); }
    NbtError Error() const { return std::get<NbtError>(m_state); }

private:
    std::variant<T, NbtError> m_state;
};
