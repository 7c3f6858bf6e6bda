#include "framework/CSource.h"

#include <new>
#include <cwchar>
#include <cwctype>
#include "framework/CAutoLock.h"
#include "framework/CSourceStream.h"

CSource::CSource(const TCHAR* name, LPUNKNOWN outer, CLSID clsid, HRESULT* phr)
    : CBaseFilter(name, outer, &m_cStateLock, clsid, phr), m_iPins(0), m_paStreams(nullptr)
{
}

CSource::CSource(const TCHAR* name, LPUNKNOWN outer, CLSID clsid)
    : CBaseFilter(name, outer, &m_cStateLock, clsid), m_iPins(0), m_paStreams(nullptr)
{
}

CSource::~CSource()
{
    // Each stream's destructor removes it from the array.
    while (m_iPins > 0)
        delete m_paStreams[m_iPins - 1];
    delete[] m_paStreams;
}

int CSource::GetPinCount()
{
    CAutoLock lock(&m_cStateLock);
    return m_iPins;
}

CBasePin* CSource::GetPin(int n)
{
    CAutoLock lock(&m_cStateLock);
    if (n < 0 || n >= m_iPins)
        return nullptr;
    return m_paStreams[n];
}

HRESULT CSource::AddPin(CSourceStream* stream)
{
    if (!stream)
        return E_POINTER;
    CAutoLock lock(&m_cStateLock);
    auto** grown = new (std::nothrow) CSourceStream*[m_iPins + 1];
    if (!grown)
        return E_OUTOFMEMORY;
    for (int i = 0; i < m_iPins; ++i)
        grown[i] = m_paStreams[i];
    grown[m_iPins] = stream;
    delete[] m_paStreams;
    m_paStreams = grown;
    ++m_iPins;
    IncrementPinVersion();
    return S_OK;
}

HRESULT CSource::RemovePin(CSourceStream* stream)
{
    CAutoLock lock(&m_cStateLock);
    for (int i = 0; i < m_iPins; ++i) {
        if (m_paStreams[i] != stream)
            continue;
        for (int j = i; j + 1 < m_iPins; ++j)
            m_paStreams[j] = m_paStreams[j + 1];
        --m_iPins;
        if (m_iPins == 0) {
            delete[] m_paStreams;
            m_paStreams = nullptr;
        }
        IncrementPinVersion();
        return S_OK;
    }
    return S_FALSE;
}

STDMETHODIMP CSource::FindPin(LPCWSTR id, IPin** ppPin)
{
    if (!id || !ppPin)
        return E_POINTER;
    *ppPin = nullptr;
    CAutoLock lock(&m_cStateLock);
    wchar_t* end = nullptr;
    long number = wcstol(id, &end, 10);
    bool numeric = end != id && *end == L'\0';
    for (int i = 0; i < m_iPins; ++i) {
        CSourceStream* stream = m_paStreams[i];
        bool byNumber = numeric && number == i + 1;
        bool byName = stream->Name() && wcscmp(stream->Name(), id) == 0;
        if (byNumber || byName) {
            *ppPin = stream;
            stream->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

int CSource::FindPinNumber(IPin* pin)
{
    CAutoLock lock(&m_cStateLock);
    for (int i = 0; i < m_iPins; ++i) {
        if (static_cast<IPin*>(m_paStreams[i]) == pin)
            return i;
    }
    return -1;
}
