#pragma once
// The record the quex stand-ins (native and Windows) write for one run:
// the process id, then each argument, separated by TAB, ending in a line
// feed. In arguments '%' is written "%25" and control bytes as %XX, so blanks,
// tabs and odd bytes come back exact; other bytes are raw, so UTF-8 names
// stay readable.

#include "base/ascii.h"

#include <string>
#include <string_view>

inline void appendRecordField(std::string &line, std::string_view argument)
{
    line += '\t';
    for (const char c : argument) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || byte == '%') {
            line += '%';
            line += ascii::kUpperHexDigits[byte >> 4];
            line += ascii::kUpperHexDigits[byte & 0xF];
        } else {
            line += c;
        }
    }
}
