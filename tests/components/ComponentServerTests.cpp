// The COM server shell of V77Components.dll: class objects, unloading,
// and the registry keys written by regsvr32 and removed on unregistration.
#include <initguid.h>

#include "v77/V77Guids.h"

#include "TestCom.h"

#include <string>

namespace {

using EntryPoint = HRESULT(STDAPICALLTYPE*)();
using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

// The component DLL beside the test, loaded for its entry points.
class CComponentsModule {
public:
    CComponentsModule() : m_hModule(LoadLibraryA("V77Components.dll")) {}
    ~CComponentsModule()
    {
        if (m_hModule)
            FreeLibrary(m_hModule);
    }
    CComponentsModule(const CComponentsModule&) = delete;
    CComponentsModule& operator=(const CComponentsModule&) = delete;

    explicit operator bool() const { return m_hModule != nullptr; }
    template <typename Fn>
    Fn Entry(const char* name) const
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m_hModule, name)));
    }

private:
    HMODULE m_hModule;
};

std::string ClsidKey(REFCLSID clsid)
{
    WCHAR text[40];
    StringFromGUID2(clsid, text, 40);
    char ansi[40];
    WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof ansi, nullptr, nullptr);
    return std::string("CLSID\\") + ansi;
}

// A REG_SZ value under HKCR, or "<missing>".
std::string ReadString(const std::string& key, const char* value)
{
    char data[1024];
    DWORD size = sizeof data;
    DWORD type = 0;
    HKEY hkey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hkey) != ERROR_SUCCESS)
        return "<missing>";
    LONG error = RegQueryValueExA(hkey, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(hkey);
    if (error != ERROR_SUCCESS || type != REG_SZ)
        return "<missing>";
    return std::string(data);
}

bool KeyExists(const std::string& key)
{
    HKEY hkey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hkey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hkey);
    return true;
}

DWORD ValueCount(const std::string& key)
{
    HKEY hkey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hkey) != ERROR_SUCCESS)
        return 0;
    DWORD values = 0;
    RegQueryInfoKeyA(hkey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(hkey);
    return values;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

void ExpectRegistered(REFCLSID clsid, const char* name)
{
    const std::string key = ClsidKey(clsid);
    EXPECT_EQ(name, ReadString(key, nullptr));
    const std::string path = ReadString(key + "\\InprocServer32", nullptr);
    const std::string suffix = "\\v77components.dll";
    ASSERT_GT(path.size(), suffix.size());
    EXPECT_EQ(suffix, Lower(path.substr(path.size() - suffix.size())));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str())) << path;
    EXPECT_EQ("Both", ReadString(key + "\\InprocServer32", "ThreadingModel"));
    EXPECT_EQ(1u, ValueCount(key));
    EXPECT_EQ(2u, ValueCount(key + "\\InprocServer32"));
}

class ComponentServer : public ComTest {};

TEST_F(ComponentServer, UnregistrationRemovesKeysDepthFirstAndRegistrationRestoresThem)
{
    CComponentsModule module;
    ASSERT_TRUE(module);
    auto unregister = module.Entry<EntryPoint>("DllUnregisterServer");
    auto reregister = module.Entry<EntryPoint>("DllRegisterServer");
    ASSERT_NE(nullptr, unregister);
    ASSERT_NE(nullptr, reregister);

    // A nested key of our own must go too.
    const std::string key = ClsidKey(CLSID_V77PoolItem);
    HKEY nested = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, (key + "\\InprocServer32\\Extra\\Deeper").c_str(), 0,
                                             nullptr, 0, KEY_WRITE, nullptr, &nested, nullptr));
    RegCloseKey(nested);

    HRESULT removed = unregister();
    const bool poolGone = !KeyExists(ClsidKey(CLSID_V77SamplePool));
    const bool itemGone = !KeyExists(key);
    HRESULT removedAgain = unregister();  // missing keys are no error
    HRESULT restored = reregister();      // always, so later suites find the components
    EXPECT_EQ(S_OK, removed);
    EXPECT_TRUE(poolGone);
    EXPECT_TRUE(itemGone);
    EXPECT_EQ(S_OK, removedAgain);
    ASSERT_EQ(S_OK, restored);
    ExpectRegistered(CLSID_V77SamplePool, "Varnokel77 Sample Pool");
    ExpectRegistered(CLSID_V77PoolItem, "Varnokel77 Pool Item");
}

TEST_F(ComponentServer, ClassObjectsAnswerOnlyTheirClassesAndInterfaces)
{
    CComponentsModule module;
    ASSERT_TRUE(module);
    auto getClassObject = module.Entry<GetClassObjectFn>("DllGetClassObject");
    ASSERT_NE(nullptr, getClassObject);

    CRef<IClassFactory> factory;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(CLSID_V77DsBufferFilter, IID_IClassFactory, factory.OutVoid()));
    EXPECT_FALSE(factory);
    EXPECT_EQ(E_NOINTERFACE, getClassObject(CLSID_V77SamplePool, IID_IMediaSample, factory.OutVoid()));
    EXPECT_EQ(E_POINTER, getClassObject(CLSID_V77SamplePool, IID_IClassFactory, nullptr));
    ASSERT_EQ(S_OK, getClassObject(CLSID_V77PoolItem, IID_IClassFactory, factory.OutVoid()));

    CRef<IV77PoolItem> item;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IV77PoolItem, item.OutVoid()));
    CRef<IBaseFilter> notThere;
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IBaseFilter, notThere.OutVoid()));
    EXPECT_FALSE(notThere);
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
}

TEST_F(ComponentServer, CannotUnloadWhileObjectsOrLocksRemain)
{
    CComponentsModule module;
    ASSERT_TRUE(module);
    auto canUnload = module.Entry<EntryPoint>("DllCanUnloadNow");
    auto getClassObject = module.Entry<GetClassObjectFn>("DllGetClassObject");
    ASSERT_NE(nullptr, canUnload);
    EXPECT_EQ(S_OK, canUnload());

    {
        CRef<IV77SamplePool> pool = NewPool(16, 2);
        ASSERT_TRUE(pool);
        EXPECT_EQ(S_FALSE, canUnload());
        CRef<IUnknown> item;
        ASSERT_EQ(S_OK, pool->GetItem(item.Out(), 0));
        pool.Reset();
        EXPECT_EQ(S_FALSE, canUnload());  // the item keeps the pool
    }
    EXPECT_EQ(S_OK, canUnload());

    {
        CRef<IMediaSample> item = NewItem();
        EXPECT_EQ(S_FALSE, canUnload());
    }
    EXPECT_EQ(S_OK, canUnload());

    CRef<IClassFactory> factory;
    ASSERT_EQ(S_OK, getClassObject(CLSID_V77SamplePool, IID_IClassFactory, factory.OutVoid()));
    EXPECT_EQ(S_FALSE, canUnload());  // the factory is an object too
    ASSERT_EQ(S_OK, factory->LockServer(TRUE));
    factory.Reset();
    EXPECT_EQ(S_FALSE, canUnload());
    ASSERT_EQ(S_OK, getClassObject(CLSID_V77SamplePool, IID_IClassFactory, factory.OutVoid()));
    ASSERT_EQ(S_OK, factory->LockServer(FALSE));
    factory.Reset();
    EXPECT_EQ(S_OK, canUnload());
}

}  // namespace
