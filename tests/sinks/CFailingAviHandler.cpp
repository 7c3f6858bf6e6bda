#include "tests/sinks/CFailingAviHandler.h"

#include <mutex>
#include <vfw.h>

namespace failing_avi {
namespace {

// {5E3B9A10-2C4D-4F8E-9B17-6A0C3D2E1F47}
const CLSID kClsid = {0x5e3b9a10, 0x2c4d, 0x4f8e, {0x9b, 0x17, 0x6a, 0x0c, 0x3d, 0x2e, 0x1f, 0x47}};
// The interface identifiers by value (mingw-w64's import library's constants
// do not compare equal to the ones AVIFile passes).
const IID kIidAviFile = {0x00020020, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kIidAviStream = {0x00020021, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const wchar_t kExtensionKey[] = L"AVIFile\\Extensions\\VFF";

std::mutex g_Lock;
std::vector<int> g_FailCalls;
std::vector<WriteCall> g_Writes;
DWORD g_Cookie = 0;

class Stream final : public IAVIStream {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == kIidAviStream) {
            *ppv = static_cast<IAVIStream*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_Refs); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG r = InterlockedDecrement(&m_Refs);
        if (r == 0)
            delete this;
        return r;
    }
    STDMETHODIMP Create(LPARAM, LPARAM) override { return S_OK; }
    STDMETHODIMP Info(AVISTREAMINFOW* info, LONG size) override
    {
        if (info && size > 0)
            ZeroMemory(info, size);
        return S_OK;
    }
    STDMETHODIMP_(LONG) FindSample(LONG pos, LONG) override { return pos; }
    STDMETHODIMP ReadFormat(LONG, LPVOID, LONG*) override { return AVIERR_UNSUPPORTED; }
    STDMETHODIMP SetFormat(LONG, LPVOID, LONG) override { return S_OK; }
    STDMETHODIMP Read(LONG, LONG, LPVOID, LONG, LONG*, LONG*) override { return AVIERR_UNSUPPORTED; }
    STDMETHODIMP Write(LONG start, LONG, LPVOID, LONG, DWORD flags, LONG*, LONG*) override
    {
        std::lock_guard<std::mutex> lock(g_Lock);
        const int call = static_cast<int>(g_Writes.size());
        bool fail = false;
        for (int c : g_FailCalls)
            fail = fail || c == call;
        g_Writes.push_back({start, fail, (flags & AVIIF_KEYFRAME) != 0});
        return fail ? AVIERR_FILEWRITE : S_OK;
    }
    STDMETHODIMP Delete(LONG, LONG) override { return AVIERR_UNSUPPORTED; }
    STDMETHODIMP ReadData(DWORD, LPVOID, LONG*) override { return AVIERR_UNSUPPORTED; }
    STDMETHODIMP WriteData(DWORD, LPVOID, LONG) override { return AVIERR_UNSUPPORTED; }
    STDMETHODIMP SetInfo(AVISTREAMINFOW*, LONG) override { return AVIERR_UNSUPPORTED; }

private:
    LONG m_Refs = 1;
};

class File final : public IAVIFile, public IPersistFile {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == kIidAviFile)
            *ppv = static_cast<IAVIFile*>(this);
        else if (riid == IID_IPersistFile || riid == IID_IPersist)
            *ppv = static_cast<IPersistFile*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_Refs); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG r = InterlockedDecrement(&m_Refs);
        if (r == 0)
            delete this;
        return r;
    }
    // IAVIFile
    STDMETHODIMP Info(AVIFILEINFOW* info, LONG size) override
    {
        if (info && size > 0)
            ZeroMemory(info, size);
        return S_OK;
    }
    STDMETHODIMP GetStream(PAVISTREAM* stream, DWORD, LONG) override
    {
        *stream = nullptr;
        return AVIERR_NODATA;
    }
    STDMETHODIMP CreateStream(PAVISTREAM* stream, AVISTREAMINFOW*) override
    {
        *stream = new Stream;
        return S_OK;
    }
    STDMETHODIMP WriteData(DWORD, LPVOID, LONG) override { return AVIERR_UNSUPPORTED; }
    STDMETHODIMP ReadData(DWORD, LPVOID, LONG*) override { return AVIERR_UNSUPPORTED; }
    STDMETHODIMP EndRecord() override { return S_OK; }
    STDMETHODIMP DeleteStream(DWORD, LONG) override { return AVIERR_UNSUPPORTED; }
    // IPersistFile
    STDMETHODIMP GetClassID(CLSID* clsid) override
    {
        *clsid = kClsid;
        return S_OK;
    }
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(LPCOLESTR, DWORD) override { return S_OK; }
    STDMETHODIMP Save(LPCOLESTR, BOOL) override { return S_OK; }
    STDMETHODIMP SaveCompleted(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP GetCurFile(LPOLESTR* name) override
    {
        *name = nullptr;
        return E_NOTIMPL;
    }

private:
    LONG m_Refs = 1;
};

class Factory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }   // static object
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        File* file = new File;
        const HRESULT hr = file->QueryInterface(riid, ppv);
        file->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

Factory g_Factory;

} // namespace

bool Register()
{
    wchar_t clsid[64] = {};
    StringFromGUID2(kClsid, clsid, 64);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kExtensionKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG set = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid),
                                    static_cast<DWORD>((wcslen(clsid) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return set == ERROR_SUCCESS &&
           SUCCEEDED(CoRegisterClassObject(kClsid, &g_Factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &g_Cookie));
}

void Unregister()
{
    if (g_Cookie)
        CoRevokeClassObject(g_Cookie);
    g_Cookie = 0;
    RegDeleteKeyW(HKEY_CLASSES_ROOT, kExtensionKey);
}

void FailWrites(const std::vector<int>& calls)
{
    std::lock_guard<std::mutex> lock(g_Lock);
    g_FailCalls = calls;
    g_Writes.clear();
}

std::vector<WriteCall> Writes()
{
    std::lock_guard<std::mutex> lock(g_Lock);
    return g_Writes;
}

} // namespace failing_avi
