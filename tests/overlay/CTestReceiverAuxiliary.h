// Stands in for a receiver's auxiliary object: hands out a zone configuration
// (or fails with a chosen HRESULT) and counts the calls.
#pragma once

#include <windows.h>
#include <atomic>
#include <string>

#include "tools/common/CV77ZoneAuxiliary.h"

class CTestReceiverAuxiliary : public CV77ZoneAuxiliary {
public:
    CTestReceiverAuxiliary(std::wstring xml, HRESULT result) : CV77ZoneAuxiliary(std::move(xml)), m_Result(result) {}

    STDMETHODIMP GetOverlayConfiguration(long zero, BSTR* xml) override;

    std::atomic<int> calls{0};
    std::atomic<long> lastZero{-1};

private:
    HRESULT m_Result;
};
