// Overlay text table: every text the user reads comes from here.
//
// The overlay is an array of lines. A line whose first character is "#" and
// that has a second character is a key line; the key's name is the rest of
// the line, taken exactly. The lines after a key line are its value lines,
// numbered from 0. GetLine(key, n) returns value line n of the key, or
// kFailText when the key is missing, no lines are attached, or the line lies
// past the end of the array.
//
// Keys are indexed lazily, in overlay order, as far as lookups need them; the
// scan stops at the "#End_Of_Ovl" key line, so a key after it is never found
// and of two key lines with the same name the first wins. Each key remembers
// the line after the last one returned, so reading a key's lines in rising
// order costs one line read per line.
//
// Used from the GUI thread only: a lookup is not reentrant.
#pragma once

#include <memory>
#include <string>
#include <vector>

class clsGTex {
public:
    static constexpr const char* kFailText = "**** ERROR !!! ****";
    static constexpr int kLineBufferSize = 1024;
    // Longest text a read returns; longer lines are cut to their first
    // kMaxLineLength characters.
    static constexpr int kMaxLineLength = 1022;

    clsGTex();
    ~clsGTex();
    clsGTex(const clsGTex&) = delete;
    clsGTex& operator=(const clsGTex&) = delete;

    // Gives the table its line array. The first valid call is accepted;
    // every later call is refused and changes nothing. A null array with a
    // positive count, or a negative count, is refused as well (and does not
    // use up the one accepted call). A null entry reads as an empty line.
    bool AttachLines(const char* const* lines, int count);

    // Value line `index` (from 0) of `key` (without its "#"), as it stands
    // (leading and trailing blanks kept, cut at kMaxLineLength), or kFailText.
    std::string GetLine(const std::string& key, int index);

    // Lines read so far (key scan and lookups together); a failed read at the
    // end of the array does not count.
    long LineReads() const { return m_LineReads; }

private:
    struct KeyEntry {
        std::string name;  // the key line after its "#"
        int first;         // position of value line 0
        int cachedIndex;   // a value line number of this key...
        int cachedPos;     // ...and the position of that line
    };

    bool ReadLine();                        // line at m_ReadPos into the buffer
    bool ScanOneLine();                     // true when an entry was appended
    KeyEntry* FindKey(const std::string& key);

    std::vector<KeyEntry> m_Index;
    const char* const* m_Lines = nullptr;
    int m_Count = 0;
    bool m_Attached = false;
    bool m_Open = false;
    int m_ReadPos = 0;
    int m_ScanPos = 0;
    bool m_ScanDone = false;
    std::unique_ptr<char[]> m_Buffer;  // kLineBufferSize bytes, every read uses it
    long m_LineReads = 0;
};
