// The archive receiver's callback as a COM part of the archive output pin:
// answers IV77ARCReceiverEvents; the pin implements the four calls.
#pragma once

#include <windows.h>

#include "framework/CUnknown.h"
#include "v77/IV77DsSource.h"

class CV77DsARCReceiverEvents : public CUnknown, public IV77ARCReceiverEvents {
public:
    CV77DsARCReceiverEvents(const TCHAR* name, LPUNKNOWN outer);

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
};
