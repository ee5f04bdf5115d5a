#pragma once
// Little-endian numbers in byte buffers, as ZIP records and the helper's frames hold them.
#include <cstddef>
#include <cstdint>

namespace tavik {

// The number in the first count bytes at p (count at most 8).
inline std::uint64_t GetLittleEndian(const void* p, std::size_t count) {
    const auto* bytes = static_cast<const unsigned char*>(p);
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) value |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    return value;
}

inline std::uint16_t GetLittleEndian16(const void* p) { return static_cast<std::uint16_t>(GetLittleEndian(p, 2)); }
inline std::uint32_t GetLittleEndian32(const void* p) { return static_cast<std::uint32_t>(GetLittleEndian(p, 4)); }
inline std::uint64_t GetLittleEndian64(const void* p) { return GetLittleEndian(p, 8); }

// Writes the low count bytes of value to p.
inline void SetLittleEndian(void* p, std::uint64_t value, std::size_t count) {
    auto* bytes = static_cast<unsigned char*>(p);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Appends the low count bytes of value to a byte container (std::string, std::vector<std::uint8_t>).
template <class TContainer>
void AppendLittleEndian(TContainer& out, std::uint64_t value, std::size_t count) {
    using TByte = typename TContainer::value_type;
    for (std::size_t i = 0; i < count; ++i) out.push_back(static_cast<TByte>(value >> (8 * i)));
}

}  // namespace tavik
