#include "tools/V77Host/CHostLiveSource.h"

#include <cstdio>
#include <oleauto.h>
#include "tools/V77Host/DemoSteps.h"
#include "tools/V77Host/HostCli.h"

namespace {

bool EndsWith(const std::string& text, const char* tail)
{
    const std::string t(tail);
    if (text.size() < t.size())
        return false;
    for (size_t i = 0; i < t.size(); ++i) {
        if (tolower(static_cast<unsigned char>(text[text.size() - t.size() + i])) != t[i])
            return false;
    }
    return true;
}

}  // namespace

bool CHostLiveSource::Parse(const std::string& text, std::string* error)
{
    if (text.compare(0, 6, "tcp://") == 0) {
        const std::string address = text.substr(6);
        const size_t colon = address.rfind(':');
        if (colon == std::string::npos || colon == 0 || colon + 1 == address.size()) {
            *error = "tcp:// needs host:port, not \"" + text + "\"";
            return false;
        }
        m_Clsid = &CLSID_V77DsTcpSource;
        m_FilterName = L"Varnokel77 TCP Network source filter";
        m_Kind = "TCP elementary stream";
        m_Source1 = Widen(address);
    } else if (text == "local" || text.compare(0, 6, "local:") == 0) {
        m_Clsid = &CLSID_V77DsLocalSource;
        m_FilterName = L"Varnokel77 Local Live source filter";
        m_Kind = "local capture process";
        const std::string ring = text.size() > 6 ? text.substr(6) : std::string("0");
        m_Source1 = Widen(ring);
        // The ring exists only while a capture process fills it.
        m_OpenStep = "open the live source (no capture ring \"" + ring + "\": is V77Capture.exe --name " + ring +
                     " running?)";
    } else if (EndsWith(text, ".sdp")) {
        m_Clsid = &CLSID_V77DsNetworkSource;
        m_FilterName = L"Varnokel77 Network source filter";
        m_Kind = "RTP camera";
        m_Source1 = HostPath(text);
    } else if (EndsWith(text, ".avi")) {
        m_Clsid = &CLSID_V77DsAviSource;
        m_FilterName = L"Varnokel77 AVI file source filter";
        m_Kind = "AVI file";
        m_Source1 = HostPath(text);
    } else {
        *error = "SOURCE must be FILE.avi, FILE.sdp, tcp://HOST:PORT or local[:NAME], not \"" + text + "\"";
        return false;
    }
    return true;
}

HRESULT CHostLiveSource::Open()
{
    HRESULT hr = CreateModuleFilter(*m_Clsid, m_pFilter);
    if (SUCCEEDED(hr))
        hr = m_pFilter.As(&m_pControl);
    if (FAILED(hr))
        return hr;
    BSTR source1 = SysAllocString(m_Source1.c_str());
    BSTR source2 = SysAllocString(L"");
    hr = m_pControl->Open(source1, source2, 0, 0, 0, &m_Info);
    SysFreeString(source1);
    SysFreeString(source2);
    if (hr == S_FALSE)
        return E_FAIL;  // the receiver did not connect: nothing would flow
    if (FAILED(hr))
        return hr;
    Microsoft::WRL::ComPtr<IV77DsAviSource> avi;
    if (SUCCEEDED(m_pFilter.As(&avi)))
        avi->Configure(1, 1);  // loop, paced: a file behaves as a camera
    return m_pControl->EnableDisplayNotification(TRUE);
}

bool CHostLiveSource::Compressed() const
{
    switch (m_Info.Compression) {
    case 0:  // BI_RGB
    case MAKEFOURCC('Y', 'U', 'Y', '2'):
    case MAKEFOURCC('Y', 'V', '1', '2'):
    case MAKEFOURCC('I', '4', '2', '0'):
        return false;
    default:
        return true;
    }
}

std::string CHostLiveSource::Description() const
{
    char text[160];
    const DWORD c = m_Info.Compression;
    char fourcc[5] = {static_cast<char>(c), static_cast<char>(c >> 8), static_cast<char>(c >> 16),
                      static_cast<char>(c >> 24), 0};
    std::snprintf(text, sizeof(text), "%s, %s %ldx%ld, %.2f frames/s", m_Kind, c ? fourcc : "RGB", m_Info.Width,
                  m_Info.Height, m_Info.AvgTimePerFrame ? 1e7 / static_cast<double>(m_Info.AvgTimePerFrame) : 0.0);
    return text;
}
