#include "tests/ddraw/CLostSurface.h"

Microsoft::WRL::ComPtr<CLostSurface> CLostSurface::Wrap(IDirectDrawSurface7* real, int lostCalls)
{
    Microsoft::WRL::ComPtr<CLostSurface> wrapped;
    *wrapped.GetAddressOf() = new CLostSurface(real, lostCalls);
    return wrapped;
}

STDMETHODIMP CLostSurface::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirectDrawSurface7) {
        *ppv = static_cast<IDirectDrawSurface7*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CLostSurface::Release()
{
    const ULONG left = --m_Refs;
    if (!left)
        delete this;
    return left;
}

STDMETHODIMP CLostSurface::Lock(LPRECT rect, LPDDSURFACEDESC2 desc, DWORD flags, HANDLE event)
{
    ++m_LockCalls;
    if (m_LockLost > 0) {
        --m_LockLost;
        return DDERR_SURFACELOST;
    }
    return m_pReal->Lock(rect, desc, flags, event);
}
