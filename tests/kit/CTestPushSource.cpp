#include "tests/kit/CTestPushSource.h"

#include <new>

namespace {

// {8E2B7C41-5A9D-4F0E-B3C6-71D40A9E2F18}
const CLSID kTestPushSourceClsid = {0x8e2b7c41, 0x5a9d, 0x4f0e, {0xb3, 0xc6, 0x71, 0xd4, 0x0a, 0x9e, 0x2f, 0x18}};

}  // namespace

CTestPushSource* CTestPushSource::Create(const CMediaType& mt, LONG bufferSize)
{
    HRESULT hr = S_OK;
    auto* source = new (std::nothrow) CTestPushSource(mt, bufferSize, &hr);
    if (!source)
        return nullptr;
    source->NonDelegatingAddRef();
    if (FAILED(hr)) {
        source->NonDelegatingRelease();
        return nullptr;
    }
    return source;
}

CTestPushSource::CTestPushSource(const CMediaType& mt, LONG bufferSize, HRESULT* phr)
    : CBaseFilter(TEXT("Test push source"), nullptr, &m_Lock, kTestPushSourceClsid, phr),
      m_pPin(new (std::nothrow) CTestPushPin(this, &m_Lock, phr, mt, bufferSize))
{
    if (!m_pPin && phr)
        *phr = E_OUTOFMEMORY;
}

CTestPushSource::~CTestPushSource()
{
    delete m_pPin;
}
