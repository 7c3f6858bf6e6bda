// Registers, for the lifetime of the object, a class object that makes
// CTestLiveReceivers under a receiver CLSID in this process, so that a live
// source creating its receiver by CLSID gets a test receiver.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <mutex>
#include <wrl/client.h>

#include "tests/sources/CTestLiveReceiver.h"

class CTestReceiverClass : public IClassFactory {
public:
    CTestReceiverClass(const CLSID& clsid, const ReceiverScript& script);
    virtual ~CTestReceiverClass();
    CTestReceiverClass(const CTestReceiverClass&) = delete;
    CTestReceiverClass& operator=(const CTestReceiverClass&) = delete;

    HRESULT Registered() const { return m_hrRegister; }
    // The receiver made last (null before any).
    Microsoft::WRL::ComPtr<CTestLiveReceiver> Last();
    void SetScript(const ReceiverScript& script);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }   // lives on the test's stack
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    std::mutex m_Lock;
    ReceiverScript m_Script;
    Microsoft::WRL::ComPtr<CTestLiveReceiver> m_pLast;
    DWORD m_dwCookie;
    HRESULT m_hrRegister;
};
