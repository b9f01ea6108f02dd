// Token splitter: holds one text and cuts it into pieces at delimiter
// characters. A delimiter set is a string; each of its characters is a
// delimiter. Positions count from 1; nothing is cached between calls.
//
// Texts are UTF-8. Only single-byte (ASCII) characters are delimiters: a byte
// that belongs to a multi-byte character never splits the text, even when the
// delimiter set happens to contain it.
#pragma once

#include <string>

class clsStrCom {
public:
    void SetText(const std::string& text) { m_Text = text; }
    const std::string& GetText() const { return m_Text; }

    // Number of pieces: one more than the number of delimiter characters in
    // the text (so at least 1). A null set counts as an empty one.
    int CountPieces(const char* delims) const;

    // Piece i (from 0) without its delimiters; empty when i is negative or
    // past the last piece.
    std::string GetPiece(const char* delims, int i) const;

private:
    // First position from p (1-based) whose character is a delimiter, or
    // length + 1 when there is none.
    int NextDelimiter(const char* delims, int p) const;

    std::string m_Text;
};
