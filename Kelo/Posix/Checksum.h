#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelo {

// FNV-1a 64: quick, and enough to tell damaged or cut-short files and changed texts apart (not
// a defence against someone who wants a collision). Continue a checksum over several pieces by
// passing the last result as `hash`.
constexpr std::uint64_t fnv1aStart = 0xcbf29ce484222325u;
std::uint64_t fnv1a(std::string_view bytes, std::uint64_t hash = fnv1aStart);

// The 16 lowercase hex digits of a checksum.
std::string hexDigits(std::uint64_t hash);

} // namespace kelo
