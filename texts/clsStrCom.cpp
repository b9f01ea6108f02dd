#include "texts/clsStrCom.h"

#include <cstring>

int clsStrCom::NextDelimiter(const char* delims, int p) const {
    const int length = static_cast<int>(m_Text.size());
    if (delims == nullptr || *delims == '\0') return length + 1;
    // strchr would match the set's terminator for a NUL byte; 0x80 and up
    // are the bytes of multi-byte characters.
    for (; p <= length; ++p) {
        const unsigned char c = static_cast<unsigned char>(m_Text[p - 1]);
        if (c != 0 && c < 0x80 && std::strchr(delims, c) != nullptr) return p;
    }
    return length + 1;
}

int clsStrCom::CountPieces(const char* delims) const {
    const int length = static_cast<int>(m_Text.size());
    int count = 1;
    int p = 1;
    for (;;) {
        const int d = NextDelimiter(delims, p);
        if (d > length) return count;
        ++count;
        p = d + 1;
    }
}

std::string clsStrCom::GetPiece(const char* delims, int i) const {
    if (i < 0) return std::string();
    const int length = static_cast<int>(m_Text.size());
    int p = 1;
    for (int k = 0; k < i && p <= length + 1; ++k) p = NextDelimiter(delims, p) + 1;
    if (p > length) return std::string();
    const int d = NextDelimiter(delims, p);
    return m_Text.substr(p - 1, d - p);
}
