#include "display/CV77MemoryDC.h"

CV77MemoryDC::CV77MemoryDC() : m_hDC(CreateCompatibleDC(nullptr))
{
}

CV77MemoryDC::~CV77MemoryDC()
{
    if (m_hDC)
        DeleteDC(m_hDC);
}
