#include "tests/sources/CTestReceiverClass.h"

#include "tests/kit/ComAdopt.h"

CTestReceiverClass::CTestReceiverClass(const CLSID& clsid, const ReceiverScript& script)
    : m_Script(script), m_dwCookie(0), m_hrRegister(E_FAIL)
{
    m_hrRegister = CoRegisterClassObject(clsid, static_cast<IClassFactory*>(this), CLSCTX_INPROC_SERVER,
                                         REGCLS_MULTIPLEUSE, &m_dwCookie);
}

CTestReceiverClass::~CTestReceiverClass()
{
    if (SUCCEEDED(m_hrRegister))
        CoRevokeClassObject(m_dwCookie);
}

Microsoft::WRL::ComPtr<CTestLiveReceiver> CTestReceiverClass::Last()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_pLast;
}

void CTestReceiverClass::SetScript(const ReceiverScript& script)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Script = script;
}

STDMETHODIMP CTestReceiverClass::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CTestReceiverClass::CreateInstance(IUnknown* outer, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    std::lock_guard<std::mutex> lock(m_Lock);
    Microsoft::WRL::ComPtr<CTestLiveReceiver> receiver = Adopt(CTestLiveReceiver::Create(m_Script));
    HRESULT hr = receiver->QueryInterface(riid, ppv);
    if (SUCCEEDED(hr))
        m_pLast = receiver;
    return hr;
}
