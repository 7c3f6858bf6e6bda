// "Varnokel77 Window Spy filter": turns the contents of a window (by default
// the whole desktop) into an uncompressed RGB stream of the desktop's depth.
#pragma once

#include "framework/CSource.h"
#include "sources/CSpyStream.h"

class CV77WindowSpyFilter : public CSource {
public:
    // Creation fails (the error's HRESULT) when DirectDraw cannot be had.
    static CUnknown* WINAPI CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CV77WindowSpyFilter(LPUNKNOWN outer, HRESULT* phr);
    ~CV77WindowSpyFilter() override;

    // IV77WindowSpy is answered by the stream.
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

private:
    CSpyStream m_Stream;
};
