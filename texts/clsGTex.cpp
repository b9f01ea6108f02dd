#include "texts/clsGTex.h"

#include <cstring>

namespace {
const char kEndKey[] = "End_Of_Ovl";
}

clsGTex::clsGTex() : m_Buffer(new char[kLineBufferSize]) { m_Buffer[0] = '\0'; }

clsGTex::~clsGTex() = default;

bool clsGTex::AttachLines(const char* const* lines, int count) {
    if (m_Attached) return false;
    if (count < 0 || (lines == nullptr && count > 0)) return false;
    m_Lines = lines;
    m_Count = count;
    m_Attached = true;
    return true;
}

// Copies the line at the read position into the buffer (at most
// kMaxLineLength characters) and moves the read position on by one line.
bool clsGTex::ReadLine() {
    if (m_Lines == nullptr || m_ReadPos < 0 || m_ReadPos >= m_Count) return false;
    const char* line = m_Lines[m_ReadPos];
    size_t n = line == nullptr ? 0 : strnlen(line, kMaxLineLength);
    if (n > 0) std::memcpy(m_Buffer.get(), line, n);
    m_Buffer[n] = '\0';
    ++m_ReadPos;
    ++m_LineReads;
    return true;
}

// One step of the lazy key scan. The first step only opens the table.
bool clsGTex::ScanOneLine() {
    if (m_ScanDone) return false;
    if (!m_Open) {
        m_Open = true;
        m_ReadPos = 0;
        m_ScanPos = 0;
        if (m_Lines == nullptr) m_ScanDone = true;
        return false;
    }
    m_ReadPos = m_ScanPos;
    if (!ReadLine()) {
        m_ScanDone = true;
        return false;
    }
    m_ScanPos = m_ReadPos;
    const char* text = m_Buffer.get();
    if (text[0] != '#' || text[1] == '\0') return false;
    m_Index.push_back(KeyEntry{std::string(text + 1), m_ReadPos, 0, m_ReadPos});
    if (m_Index.back().name == kEndKey) m_ScanDone = true;
    return true;
}

clsGTex::KeyEntry* clsGTex::FindKey(const std::string& key) {
    for (KeyEntry& entry : m_Index)
        if (entry.name == key) return &entry;
    while (!m_ScanDone) {
        if (ScanOneLine() && m_Index.back().name == key) return &m_Index.back();
    }
    return nullptr;
}

std::string clsGTex::GetLine(const std::string& key, int index) {
    // Without lines the table stays unopened, so a later AttachLines still
    // gets a fresh scan.
    if (m_Lines == nullptr || index < 0) return kFailText;
    KeyEntry* entry = FindKey(key);
    if (entry == nullptr) return kFailText;

    int line = entry->cachedIndex;
    m_ReadPos = entry->cachedPos;
    if (index < entry->cachedIndex) {
        line = 0;
        m_ReadPos = entry->first;
    }
    for (; line < index; ++line)
        if (!ReadLine()) return kFailText;
    if (!ReadLine()) return kFailText;
    entry->cachedIndex = index + 1;
    entry->cachedPos = m_ReadPos;
    return std::string(m_Buffer.get());
}
