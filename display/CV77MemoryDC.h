// A memory device context compatible with the screen, deleted with its owner.
#pragma once

#include <windows.h>

class CV77MemoryDC {
public:
    CV77MemoryDC();
    ~CV77MemoryDC();
    CV77MemoryDC(const CV77MemoryDC&) = delete;
    CV77MemoryDC& operator=(const CV77MemoryDC&) = delete;

    HDC Handle() const { return m_hDC; }
    explicit operator bool() const { return m_hDC != nullptr; }

private:
    HDC m_hDC;
};
