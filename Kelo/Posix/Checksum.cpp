#include "Checksum.h"

namespace kelo {

std::uint64_t fnv1a(std::string_view bytes, std::uint64_t hash) {
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3u;
    }
    return hash;
}

std::string hexDigits(std::uint64_t hash) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex(16, '0');
    for (size_t i = 0; i < hex.size(); ++i)
        hex[hex.size() - 1 - i] = digits[(hash >> (4 * i)) & 0xf];
    return hex;
}

} // namespace kelo
