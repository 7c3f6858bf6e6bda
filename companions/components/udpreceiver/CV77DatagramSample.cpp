#include "companions/components/udpreceiver/CV77DatagramSample.h"

STDMETHODIMP CV77DatagramSample::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMediaSample) {
        *ppv = static_cast<IMediaSample*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CV77DatagramSample::GetPointer(BYTE** buffer)
{
    if (!buffer)
        return E_POINTER;
    *buffer = m_pData;
    return S_OK;
}

STDMETHODIMP CV77DatagramSample::GetMediaType(AM_MEDIA_TYPE** type)
{
    if (!type)
        return E_POINTER;
    *type = nullptr;
    return S_FALSE;
}
