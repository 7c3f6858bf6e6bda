// The class factory and entry-point rules over a table of test templates.
#include <gtest/gtest.h>
#include <windows.h>
#include <objidl.h>
#include <vfwmsgs.h>
#include <wrl/client.h>
#include "framework/CBaseObject.h"
#include "module/FilterCreation.h"
#include "module/ModuleEntry.h"
#include "tests/module/CTestObject.h"

using Microsoft::WRL::ComPtr;

namespace {

const CLSID CLSID_TestGood = {0x6c1e0a01, 0x3d2b, 0x4a8e, {0x9f, 0x10, 0x21, 0x43, 0x65, 0x87, 0xa9, 0xcb}};
const CLSID CLSID_TestNullOk = {0x6c1e0a02, 0x3d2b, 0x4a8e, {0x9f, 0x10, 0x21, 0x43, 0x65, 0x87, 0xa9, 0xcb}};
const CLSID CLSID_TestNullFailed = {0x6c1e0a03, 0x3d2b, 0x4a8e, {0x9f, 0x10, 0x21, 0x43, 0x65, 0x87, 0xa9, 0xcb}};
const CLSID CLSID_TestNotBuilt = {0x6c1e0a04, 0x3d2b, 0x4a8e, {0x9f, 0x10, 0x21, 0x43, 0x65, 0x87, 0xa9, 0xcb}};
const CLSID CLSID_TestWithInit = {0x6c1e0a05, 0x3d2b, 0x4a8e, {0x9f, 0x10, 0x21, 0x43, 0x65, 0x87, 0xa9, 0xcb}};
const CLSID CLSID_Unknown = {0x6c1e0aff, 0x3d2b, 0x4a8e, {0x9f, 0x10, 0x21, 0x43, 0x65, 0x87, 0xa9, 0xcb}};

int g_cCreatorCalls = 0;

CUnknown* CreateGood(LPUNKNOWN outer, HRESULT* phr)
{
    ++g_cCreatorCalls;
    return CreateFilterObject<CTestObject>("test object", outer, phr);
}

CUnknown* CreateNullOk(LPUNKNOWN, HRESULT* phr)
{
    ++g_cCreatorCalls;
    *phr = S_OK;
    return nullptr;
}

CUnknown* CreateNullFailed(LPUNKNOWN, HRESULT* phr)
{
    ++g_cCreatorCalls;
    *phr = E_ACCESSDENIED;
    return nullptr;
}

struct InitCall {
    BOOL loading;
    const CLSID* clsid;
};
InitCall g_InitCalls[4];
int g_cInitCalls = 0;

void RecordInit(BOOL loading, const CLSID* clsid)
{
    if (g_cInitCalls < 4)
        g_InitCalls[g_cInitCalls] = {loading, clsid};
    ++g_cInitCalls;
}

const CFactoryTemplate kTemplates[] = {
    {L"good", &CLSID_TestGood, CreateGood, nullptr, nullptr},
    {L"null with S_OK", &CLSID_TestNullOk, CreateNullOk, nullptr, nullptr},
    {L"null with failure", &CLSID_TestNullFailed, CreateNullFailed, nullptr, nullptr},
    {L"not built", &CLSID_TestNotBuilt, CreateNotBuilt, nullptr, nullptr},
    {L"with init", &CLSID_TestWithInit, CreateGood, RecordInit, nullptr},
};
const int kCount = sizeof(kTemplates) / sizeof(kTemplates[0]);

class ClassFactoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_cObjectsBefore = CBaseObject::ObjectsActive();
        m_cDestroyedBefore = CTestObject::Destroyed();
        g_cCreatorCalls = 0;
        CTestObject::SetConstructorResult(S_OK);
    }
    void TearDown() override
    {
        CTestObject::SetConstructorResult(S_OK);
        EXPECT_EQ(m_cObjectsBefore, CBaseObject::ObjectsActive()) << "an object or factory leaked";
    }

    static ComPtr<IClassFactory> Factory(const CLSID& clsid)
    {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(S_OK, V77GetClassObject(kTemplates, kCount, clsid, IID_IClassFactory,
                                          reinterpret_cast<void**>(factory.GetAddressOf())));
        return factory;
    }

    LONG Destroyed() const { return CTestObject::Destroyed() - m_cDestroyedBefore; }

    LONG m_cObjectsBefore = 0;
    LONG m_cDestroyedBefore = 0;
};

// A marker that must be overwritten by every failing call.
void* const kJunk = reinterpret_cast<void*>(0x1234);

TEST_F(ClassFactoryTest, GetClassObjectRejectsBeforeAllocating)
{
    void* ppv = kJunk;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, V77GetClassObject(kTemplates, kCount, CLSID_Unknown, IID_IClassFactory, &ppv));
    EXPECT_EQ(nullptr, ppv);
    ppv = kJunk;
    EXPECT_EQ(E_NOINTERFACE, V77GetClassObject(kTemplates, kCount, CLSID_TestGood, IID_IMarshal, &ppv));
    EXPECT_EQ(nullptr, ppv);
    // The interface is checked before the class.
    EXPECT_EQ(E_NOINTERFACE, V77GetClassObject(kTemplates, kCount, CLSID_Unknown, IID_IMarshal, &ppv));
    EXPECT_EQ(E_POINTER, V77GetClassObject(kTemplates, kCount, CLSID_TestGood, IID_IClassFactory, nullptr));
    EXPECT_EQ(m_cObjectsBefore, CBaseObject::ObjectsActive());
    EXPECT_EQ(0, g_cCreatorCalls);
}

TEST_F(ClassFactoryTest, FactoryIsAnActiveObjectUntilItsLastReleaseAndAnswersForItself)
{
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, V77GetClassObject(kTemplates, kCount, CLSID_TestGood, IID_IUnknown,
                                      reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(m_cObjectsBefore + 1, CBaseObject::ObjectsActive());
    EXPECT_EQ(2u, unknown->AddRef());
    EXPECT_EQ(1u, unknown->Release());
    EXPECT_EQ(m_cObjectsBefore + 1, CBaseObject::ObjectsActive());
    EXPECT_EQ(0u, unknown->Release());
    EXPECT_EQ(m_cObjectsBefore, CBaseObject::ObjectsActive());
    EXPECT_EQ(0, g_cCreatorCalls);

    ComPtr<IClassFactory> factory = Factory(CLSID_TestGood);
    ASSERT_TRUE(factory);
    ComPtr<IUnknown> identity;
    EXPECT_EQ(S_OK, factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf())));
    EXPECT_EQ(static_cast<IUnknown*>(factory.Get()), identity.Get());
    void* ppv = kJunk;
    EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(IID_IMarshal, &ppv));
    EXPECT_EQ(nullptr, ppv);
    EXPECT_EQ(E_POINTER, factory->QueryInterface(IID_IClassFactory, nullptr));
}

TEST_F(ClassFactoryTest, AggregatedCreationChecksItsArgumentsAndReturnsTheInnerUnknown)
{
    ComPtr<IClassFactory> factory = Factory(CLSID_TestGood);
    ASSERT_TRUE(factory);
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IPersist, nullptr));

    // Aggregation hands out only the inner IUnknown (any live COM object will do as the outer).
    IUnknown* outer = factory.Get();
    void* ppv = kJunk;
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(outer, IID_IPersist, &ppv));
    EXPECT_EQ(nullptr, ppv);
    EXPECT_EQ(0, g_cCreatorCalls);

    IUnknown* inner = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&inner)));
    ASSERT_NE(nullptr, inner);
    EXPECT_NE(outer, inner);
    // The inner object's other interfaces delegate to the outer unknown.
    IPersist* persist = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)));
    ComPtr<IUnknown> fromPersist;
    EXPECT_EQ(E_NOINTERFACE, persist->QueryInterface(IID_IPersist, reinterpret_cast<void**>(fromPersist.GetAddressOf())))
        << "QueryInterface on an aggregated object's interface must go to the outer";
    persist->Release();  // delegates to the outer: balances nothing on the inner
    EXPECT_EQ(0u, inner->Release());
    EXPECT_EQ(1, Destroyed());
}

TEST_F(ClassFactoryTest, CreatesWithOneReferenceAndDestroysTheObjectOnAFailedConstructorOrAMissingInterface)
{
    ComPtr<IClassFactory> factory = Factory(CLSID_TestGood);
    ASSERT_TRUE(factory);
    IPersist* persist = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(&persist)));
    ASSERT_NE(nullptr, persist);
    EXPECT_EQ(m_cObjectsBefore + 2, CBaseObject::ObjectsActive());  // factory and object
    EXPECT_EQ(0u, persist->Release());
    EXPECT_EQ(1, Destroyed());

    CTestObject::SetConstructorResult(VFW_E_WRONG_STATE);
    void* ppv = kJunk;
    EXPECT_EQ(VFW_E_WRONG_STATE, factory->CreateInstance(nullptr, IID_IPersist, &ppv));
    EXPECT_EQ(nullptr, ppv);
    EXPECT_EQ(2, Destroyed());
    EXPECT_EQ(m_cObjectsBefore + 1, CBaseObject::ObjectsActive());  // the factory only

    CTestObject::SetConstructorResult(S_OK);
    ppv = kJunk;
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IMarshal, &ppv));
    EXPECT_EQ(nullptr, ppv);
    EXPECT_EQ(3, g_cCreatorCalls);
    EXPECT_EQ(3, Destroyed());
    EXPECT_EQ(m_cObjectsBefore + 1, CBaseObject::ObjectsActive());
}

TEST_F(ClassFactoryTest, NullFromTheCreator)
{
    void* ppv = kJunk;
    EXPECT_EQ(E_OUTOFMEMORY, Factory(CLSID_TestNullOk)->CreateInstance(nullptr, IID_IUnknown, &ppv));
    EXPECT_EQ(nullptr, ppv);
    EXPECT_EQ(E_ACCESSDENIED, Factory(CLSID_TestNullFailed)->CreateInstance(nullptr, IID_IUnknown, &ppv));
    EXPECT_EQ(E_NOTIMPL, Factory(CLSID_TestNotBuilt)->CreateInstance(nullptr, IID_IUnknown, &ppv));
    EXPECT_EQ(nullptr, ppv);
    EXPECT_EQ(2, g_cCreatorCalls);
}

TEST_F(ClassFactoryTest, CanUnloadOnlyWithoutObjectsAndLocks)
{
    ASSERT_EQ(0, m_cObjectsBefore) << "another object is alive in the test program";
    EXPECT_EQ(S_OK, V77CanUnloadNow());

    ComPtr<IClassFactory> factory = Factory(CLSID_TestGood);
    ASSERT_TRUE(factory);
    EXPECT_EQ(S_FALSE, V77CanUnloadNow());

    ComPtr<IPersist> object;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(object.GetAddressOf())));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory.Reset();
    EXPECT_EQ(S_FALSE, V77CanUnloadNow()) << "the object is alive";
    object.Reset();
    EXPECT_EQ(S_FALSE, V77CanUnloadNow()) << "two locks are held";

    // Locks belong to the module, not to one factory.
    factory = Factory(CLSID_TestNotBuilt);
    ASSERT_TRUE(factory);
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory.Reset();
    EXPECT_EQ(S_FALSE, V77CanUnloadNow()) << "one lock is held";
    factory = Factory(CLSID_TestGood);
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_FALSE, V77CanUnloadNow()) << "the factory is alive";
    factory.Reset();
    EXPECT_EQ(S_OK, V77CanUnloadNow());
}

TEST_F(ClassFactoryTest, AttachAndDetachCallOnlyTheInitRoutinesThatExist)
{
    g_cInitCalls = 0;
    HINSTANCE self = GetModuleHandleA(nullptr);
    V77ModuleAttach(self, kTemplates, kCount);
    EXPECT_EQ(self, g_hInst);
    EXPECT_GE(g_dwOsMajorVersion, 5u) << "the version query ran";
    ASSERT_EQ(1, g_cInitCalls);
    EXPECT_TRUE(g_InitCalls[0].loading);
    EXPECT_EQ(&CLSID_TestWithInit, g_InitCalls[0].clsid);

    V77ModuleDetach(kTemplates, kCount);
    ASSERT_EQ(2, g_cInitCalls);
    EXPECT_FALSE(g_InitCalls[1].loading);
    EXPECT_EQ(&CLSID_TestWithInit, g_InitCalls[1].clsid);
    EXPECT_EQ(0, g_cCreatorCalls);
}

}  // namespace
