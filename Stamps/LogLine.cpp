#include "LogLine.h"

#include <cstdio>

namespace kelo {

namespace {

// The length of the UTF-8 sequence of one printable character at the start of `text`, or 0 for
// anything else: a byte that starts no valid sequence (a stray continuation byte, an overlong
// form, a surrogate, a cut-off sequence), a control character (C0, DEL, C1), or the line and
// paragraph separators, at which some viewers break lines.
size_t printableLength(std::string_view text) {
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return lead >= 0x20 && lead != 0x7f ? 1 : 0;
    size_t length = 0;
    char32_t code = 0;
    char32_t smallest = 0;
    if ((lead & 0xe0) == 0xc0) {
        length = 2;
        code = lead & 0x1f;
        smallest = 0x80;
    } else if ((lead & 0xf0) == 0xe0) {
        length = 3;
        code = lead & 0x0f;
        smallest = 0x800;
    } else if ((lead & 0xf8) == 0xf0) {
        length = 4;
        code = lead & 0x07;
        smallest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (size_t at = 1; at < length; ++at) {
        if ((byte(at) & 0xc0) != 0x80)
            return 0;
        code = (code << 6) | (byte(at) & 0x3f);
    }
    if (code < smallest || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
        return 0;
    if (code < 0xa0 || code == 0x2028 || code == 0x2029)
        return 0;
    return length;
}

} // namespace

std::string escapedLogLine(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    for (size_t at = 0; at < line.size();) {
        if (const size_t length = printableLength(line.substr(at))) {
            out.append(line.substr(at, length));
            at += length;
            continue;
        }
        const auto byte = static_cast<unsigned char>(line[at++]);
        if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\t') {
            out += "\\t";
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            out += escape;
        }
    }
    return out;
}

} // namespace kelo
