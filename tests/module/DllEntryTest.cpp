// The real module's entry points: class objects for its 23 filters, the
// checks made before anything is allocated, and when it may be unloaded.
#include <gtest/gtest.h>
#include <windows.h>
#include <objidl.h>
#include <strmif.h>
#include <wrl/client.h>
#include "tests/module/CModuleDll.h"
#include "tests/module/ExpectedFilters.h"

using Microsoft::WRL::ComPtr;

namespace {

const CLSID CLSID_NotInTheModule = {0x6c1e0aee, 0x3d2b, 0x4a8e, {0x9f, 0x10, 0x21, 0x43, 0x65, 0x87, 0xa9, 0xcb}};
void* const kJunk = reinterpret_cast<void*>(0x1234);

// Rows 2, 6, 17 and 20 create their live receiver and rows 5 and 13 their
// archive receiver, outside components: without COM the creation fails with
// CoCreateInstance's result.
bool NeedsReceiver(int row)
{
    return row == 2 || row == 5 || row == 6 || row == 13 || row == 17 || row == 20;
}

// Every receiver is registered, so only a missing COM may stop these rows.
bool ReceiverMissing(int row, HRESULT hr)
{
    return NeedsReceiver(row) && hr == CO_E_NOTINITIALIZED;
}

class DllEntryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dll.Loaded()) << "V77DsBuffer.dll beside the test program, with its four exports";
        ASSERT_EQ(S_OK, m_dll.CanUnloadNow()) << "the module is idle before each test";
    }
    void TearDown() override
    {
        if (m_dll.Loaded()) {
            EXPECT_EQ(S_OK, m_dll.CanUnloadNow()) << "an object, factory or lock of the module leaked";
        }
    }

    ComPtr<IClassFactory> Factory(const CLSID& clsid)
    {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(S_OK, m_dll.GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())));
        return factory;
    }

    CModuleDll m_dll;
};

// Every row has a class object; rows whose filter is built create it, the
// others answer E_NOTIMPL. (The factory's argument checks have their own suite.)
TEST_F(DllEntryTest, EveryFilterIsCreatableOrNotBuiltYet)
{
    void* ppv = kJunk;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, m_dll.GetClassObject(CLSID_NotInTheModule, IID_IClassFactory, &ppv));
    EXPECT_EQ(nullptr, ppv);
    for (int i = 0; i < kExpectedFilterCount; ++i) {
        SCOPED_TRACE(kExpectedFilters[i].name);
        ComPtr<IClassFactory> factory = Factory(ClsidOf(kExpectedFilters[i]));
        ASSERT_TRUE(factory);
        EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow()) << "a live factory keeps the module loaded";
        ComPtr<IBaseFilter> filter;
        const HRESULT hr =
            factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()));
        if (hr == E_NOTIMPL || ReceiverMissing(i, hr)) {
            EXPECT_FALSE(filter);
            continue;
        }
        ASSERT_EQ(S_OK, hr);
        ASSERT_TRUE(filter);
        CLSID clsid = CLSID_NULL;
        EXPECT_EQ(S_OK, filter->GetClassID(&clsid));
        EXPECT_TRUE(IsEqualCLSID(ClsidOf(kExpectedFilters[i]), clsid));
        factory.Reset();
        EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow()) << "a live filter keeps the module loaded";
    }
}

// Through the COM runtime and the registration the test environment made.
TEST_F(DllEntryTest, CoCreateInstanceReachesTheModule)
{
    // The filters created directly above may have left this thread in a
    // single-threaded apartment: the AVI file renderer calls AVIFileInit,
    // whose OleInitialize Wine's AVIFileExit does not undo.
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ASSERT_TRUE(SUCCEEDED(init) || init == RPC_E_CHANGED_MODE) << std::hex << init;
    for (int i = 0; i < kExpectedFilterCount; ++i) {
        ComPtr<IBaseFilter> filter;
        const HRESULT hr = CoCreateInstance(ClsidOf(kExpectedFilters[i]), nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()));
        EXPECT_TRUE(hr == S_OK || hr == E_NOTIMPL || ReceiverMissing(i, hr)) << kExpectedFilters[i].name << ": 0x" << std::hex << hr;
        EXPECT_EQ(hr == S_OK, filter != nullptr);
    }
    if (SUCCEEDED(init))
        CoUninitialize();
}

}  // namespace
