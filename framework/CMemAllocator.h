// The standard allocator: one block of memory cut into aligned samples.
#pragma once

#include "framework/CBaseAllocator.h"

class CMemAllocator : public CBaseAllocator {
public:
    CMemAllocator(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr);
    ~CMemAllocator() override;

    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;

    static CUnknown* WINAPI CreateInstance(LPUNKNOWN outer, HRESULT* phr);

protected:
    HRESULT Alloc() override;
    void Free() override;
    void ReallyFree();

    LPBYTE m_pBuffer;
};
