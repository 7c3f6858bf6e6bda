// A live source named the way the host's commands take it: an AVI file, an
// SDP file (RTP camera), tcp://host:port (elementary stream) or local[:NAME]
// (the local capture process), created and opened through its receiver.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <string>
#include <wrl/client.h>
#include "v77/IV77DsSource.h"

class CHostLiveSource {
public:
    // Picks the filter for text; false with *error set when text names none.
    bool Parse(const std::string& text, std::string* error);
    // Creates the filter and opens its receiver (graph stopped). A receiver
    // that did not connect (S_FALSE) is a failure here: E_FAIL.
    HRESULT Open();

    IBaseFilter* Filter() const { return m_pFilter.Get(); }
    IV77DsNetworkSource* Control() const { return m_pControl.Get(); }
    const SOURCE_INFORMATION& Info() const { return m_Info; }
    const wchar_t* FilterName() const { return m_FilterName; }
    const char* Kind() const { return m_Kind; }
    // What a failed Open was doing, for the host's error line.
    const char* OpenStep() const { return m_OpenStep.c_str(); }
    // True for a FOURCC the renderers cannot draw (MPEG-4 and the like).
    bool Compressed() const;
    std::string Description() const;

private:
    const CLSID* m_Clsid = nullptr;
    const wchar_t* m_FilterName = L"";
    const char* m_Kind = "";
    std::wstring m_Source1;
    std::string m_OpenStep = "open the live source";
    Microsoft::WRL::ComPtr<IBaseFilter> m_pFilter;
    Microsoft::WRL::ComPtr<IV77DsNetworkSource> m_pControl;
    SOURCE_INFORMATION m_Info = {};
};
