// Reading and writing single integer fields of packed pixels.
//
// Reading an n-bit unsigned field gives field / (2^n - 1), correctly rounded; a signed field is
// two's complement, its most negative value is read like the next one up, and the result is
// s / (2^(n-1) - 1). Fields of up to 10 bits read through tables computed at compile time.
//
// Writing stores trunc(v * max + offset), where the product and the sum are 32-bit float
// operations rounding toward zero: callers hold a RoundTowardZeroScope around the row. The
// result is held to what the field can store (for in-range input this changes nothing; it keeps
// stray values from spilling into neighbouring fields).
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace rastro {

static_assert(std::endian::native == std::endian::little, "packed pixels are read as little-endian integers");

constexpr std::uint32_t FieldMax(unsigned bits) { return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1; }
constexpr std::uint32_t SignedFieldMax(unsigned bits) { return (1u << (bits - 1)) - 1; }

template <unsigned Bits>
constexpr std::array<float, (1u << Bits)> MakeUnsignedTable() {
  std::array<float, (1u << Bits)> table{};
  for (std::uint32_t i = 0; i < (1u << Bits); ++i)
    table[i] = static_cast<float>(i) / static_cast<float>(FieldMax(Bits));
  return table;
}

template <unsigned Bits>
constexpr std::array<float, (1u << Bits)> MakeSignedTable() {
  std::array<float, (1u << Bits)> table{};
  constexpr std::int32_t max = static_cast<std::int32_t>(SignedFieldMax(Bits));
  for (std::uint32_t i = 0; i < (1u << Bits); ++i) {
    std::int32_t s = static_cast<std::int32_t>(i << (32 - Bits)) >> (32 - Bits);
    if (s < -max) s = -max;
    table[i] = static_cast<float>(s) / static_cast<float>(max);
  }
  return table;
}

template <unsigned Bits>
inline constexpr auto kUnsignedTable = MakeUnsignedTable<Bits>();
template <unsigned Bits>
inline constexpr auto kSignedTable = MakeSignedTable<Bits>();

template <unsigned Bits>
inline float ReadUnsignedField(std::uint32_t field) {
  if constexpr (Bits <= 10) {
    return kUnsignedTable<Bits>[field];
  } else {
    return static_cast<float>(field) / static_cast<float>(FieldMax(Bits));
  }
}

template <unsigned Bits>
inline float ReadSignedField(std::uint32_t field) {
  if constexpr (Bits <= 10) {
    return kSignedTable<Bits>[field];
  } else {
    constexpr std::int32_t max = static_cast<std::int32_t>(SignedFieldMax(Bits));
    std::int32_t s = static_cast<std::int32_t>(field << (32 - Bits)) >> (32 - Bits);
    if (s < -max) s = -max;
    return static_cast<float>(s) / static_cast<float>(max);
  }
}

// trunc(v * max + offset) held to [0, max]; NaN stores 0.
inline std::uint32_t QuantizeUnsigned(float v, float max, float offset) {
  float x = v * max + offset;
  x = x > 0.0f ? x : 0.0f;
  x = x < max ? x : max;
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(x));
}

// trunc(v * max + offset) held to [-(max + 1), max], as two's complement in `bits` bits.
inline std::uint32_t QuantizeSigned(float v, float max, float offset, unsigned bits) {
  float x = v * max + offset;
  float low = -max - 1.0f;
  x = x > low ? x : low;
  x = x < max ? x : max;
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(x)) & FieldMax(bits);
}

// Pixels of 1 to 8 bytes as little-endian integers.
template <unsigned Bytes>
inline std::uint64_t LoadPixel(const std::uint8_t* p) {
  if constexpr (Bytes == 1) {
    return *p;
  } else if constexpr (Bytes == 2) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
  } else if constexpr (Bytes == 4) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  } else {
    std::uint64_t v = 0;
    std::memcpy(&v, p, Bytes);
    return v;
  }
}

template <unsigned Bytes>
inline void StorePixel(std::uint8_t* p, std::uint64_t v) {
  if constexpr (Bytes == 1) {
    *p = static_cast<std::uint8_t>(v);
  } else if constexpr (Bytes == 2) {
    auto w = static_cast<std::uint16_t>(v);
    std::memcpy(p, &w, 2);
  } else if constexpr (Bytes == 4) {
    auto w = static_cast<std::uint32_t>(v);
    std::memcpy(p, &w, 4);
  } else {
    std::memcpy(p, &v, Bytes);
  }
}

}  // namespace rastro
