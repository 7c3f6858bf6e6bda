// What registering and unregistering the module leaves in the registry and
// in the DirectShow filter mapper, checked against the expected filter list.
#include <gtest/gtest.h>
#include <windows.h>
#include <strmif.h>
#include <uuids.h>
#include <algorithm>
#include <string>
#include <vector>
#include <wrl/client.h>
#include "module/CV77ComInit.h"
#include "module/CV77RegKey.h"
#include "tests/module/CModuleDll.h"
#include "tests/module/ExpectedFilters.h"
#include "tools/common/CV77FilterData.h"

using Microsoft::WRL::ComPtr;

namespace {

const char kLegacyFilterCategory[] = "CLSID\\{083863F1-70DE-11d0-BD40-00A0C911CE86}\\Instance\\";
const DWORD kPinFlags = REG_PINFLAG_B_OUTPUT | REG_PINFLAG_B_RENDERER | REG_PINFLAG_B_ZERO | REG_PINFLAG_B_MANY;

struct RegValue {
    std::string name;
    DWORD type;
    std::vector<BYTE> data;

    std::string Text() const
    {
        std::string text(data.begin(), data.end());
        return text.substr(0, text.find('\0'));
    }
};

std::string ClassKey(const ExpectedFilter& filter)
{
    return std::string("CLSID\\") + filter.clsid;
}

std::string ServerKey(const ExpectedFilter& filter)
{
    return ClassKey(filter) + "\\InprocServer32";
}

std::string InstanceKey(const ExpectedFilter& filter)
{
    return kLegacyFilterCategory + std::string(filter.clsid);
}

bool KeyExists(const std::string& path)
{
    CV77RegKey key;
    return key.Open(HKEY_CLASSES_ROOT, path.c_str(), KEY_READ) == ERROR_SUCCESS;
}

// All values of a key, sorted by name (the default value's name is empty).
std::vector<RegValue> ReadValues(const std::string& path)
{
    std::vector<RegValue> values;
    CV77RegKey key;
    if (key.Open(HKEY_CLASSES_ROOT, path.c_str(), KEY_READ) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameLength = sizeof(name);
        BYTE data[4096];
        DWORD dataLength = sizeof(data);
        DWORD type = 0;
        if (RegEnumValueA(key.Get(), index, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS)
            break;
        values.push_back({std::string(name, nameLength), type, std::vector<BYTE>(data, data + dataLength)});
    }
    std::sort(values.begin(), values.end(), [](const RegValue& a, const RegValue& b) { return a.name < b.name; });
    return values;
}

const RegValue* FindValue(const std::vector<RegValue>& values, const std::string& name)
{
    for (const RegValue& value : values) {
        if (lstrcmpiA(value.name.c_str(), name.c_str()) == 0)
            return &value;
    }
    return nullptr;
}

bool SameText(const std::string& a, const std::string& b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

void ExpectComKeys(const ExpectedFilter& filter, const std::string& modulePath)
{
    SCOPED_TRACE(filter.name);
    const std::vector<RegValue> classValues = ReadValues(ClassKey(filter));
    ASSERT_EQ(1u, classValues.size()) << "only the default value under " << ClassKey(filter);
    EXPECT_EQ("", classValues[0].name);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), classValues[0].type);
    EXPECT_EQ(filter.name, classValues[0].Text());

    const std::vector<RegValue> serverValues = ReadValues(ServerKey(filter));
    ASSERT_EQ(2u, serverValues.size()) << "the default value and ThreadingModel only";
    EXPECT_EQ("", serverValues[0].name);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), serverValues[0].type);
    EXPECT_TRUE(SameText(modulePath, serverValues[0].Text())) << serverValues[0].Text() << " vs " << modulePath;
    EXPECT_EQ("ThreadingModel", serverValues[1].name);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), serverValues[1].type);
    EXPECT_EQ("Both", serverValues[1].Text());
}

void ExpectPins(const ExpectedFilter& filter, const CV77FilterData& data)
{
    ASSERT_EQ(static_cast<size_t>(filter.pins), data.Pins().size());
    for (int p = 0; p < filter.pins; ++p) {
        const CV77FilterData::Pin& pin = data.Pins()[p];
        const ExpectedPin& expected = filter.pin[p];
        EXPECT_EQ(expected.flags, pin.flags & kPinFlags) << "pin " << p;
        ASSERT_EQ(static_cast<size_t>(expected.types), pin.types.size()) << "pin " << p;
        for (int t = 0; t < expected.types; ++t) {
            EXPECT_TRUE(IsEqualGUID(*expected.type[t].major, pin.types[t].major)) << "pin " << p << " type " << t;
            EXPECT_TRUE(IsEqualGUID(*expected.type[t].minor, pin.types[t].minor)) << "pin " << p << " type " << t;
        }
    }
}

void ExpectMapperEntry(const ExpectedFilter& filter)
{
    SCOPED_TRACE(filter.name);
    const std::vector<RegValue> values = ReadValues(InstanceKey(filter));
    ASSERT_FALSE(values.empty()) << InstanceKey(filter) << " is missing";
    const RegValue* friendlyName = FindValue(values, "FriendlyName");
    ASSERT_NE(nullptr, friendlyName);
    EXPECT_EQ(filter.name, friendlyName->Text());
    const RegValue* clsid = FindValue(values, "CLSID");
    ASSERT_NE(nullptr, clsid);
    EXPECT_TRUE(SameText(filter.clsid, clsid->Text()));
    const RegValue* filterData = FindValue(values, "FilterData");
    ASSERT_NE(nullptr, filterData);
    CV77FilterData data;
    ASSERT_TRUE(data.Parse(filterData->data.data(), filterData->data.size()));
    EXPECT_EQ(static_cast<DWORD>(MERIT_DO_NOT_USE), data.Merit());
    ExpectPins(filter, data);
}

bool MonikerIsFilter(IMoniker* moniker, const CLSID& clsid)
{
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.GetAddressOf()))))
        return false;
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    CLSID found = CLSID_NULL;
    const bool read = SUCCEEDED(bag->Read(L"CLSID", &v, nullptr)) && V_VT(&v) == VT_BSTR &&
                      SUCCEEDED(CLSIDFromString(V_BSTR(&v), &found));
    VariantClear(&v);
    return read && IsEqualCLSID(found, clsid);
}

// Asks the mapper for filters with a pin like the filter's first one at merit MERIT_DO_NOT_USE.
bool MapperFinds(IFilterMapper2* mapper, const ExpectedFilter& filter)
{
    const ExpectedPin& pin = filter.pin[0];
    const GUID types[2] = {*pin.type[0].major, *pin.type[0].minor};
    const BOOL output = (pin.flags & REG_PINFLAG_B_OUTPUT) != 0;
    ComPtr<IEnumMoniker> monikers;
    const HRESULT hr = mapper->EnumMatchingFilters(monikers.GetAddressOf(), 0, FALSE, MERIT_DO_NOT_USE, !output,
                                                   output ? 0 : 1, output ? nullptr : types, nullptr, nullptr, FALSE,
                                                   output, output ? 1 : 0, output ? types : nullptr, nullptr, nullptr);
    EXPECT_EQ(S_OK, hr);
    if (FAILED(hr))
        return false;
    const CLSID clsid = ClsidOf(filter);
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        if (MonikerIsFilter(moniker.Get(), clsid))
            return true;
    }
    return false;
}

class RegistrationTest : public ::testing::Test {
protected:
    static void TearDownTestSuite()
    {
        // Whatever happened, leave the module registered for the other suites.
        CModuleDll dll;
        if (dll.Loaded()) {
            EXPECT_EQ(S_OK, dll.RegisterServer());
        }
    }

    void SetUp() override
    {
        ASSERT_TRUE(m_dll.Loaded()) << "V77DsBuffer.dll beside the test program, with its four exports";
        ASSERT_TRUE(SUCCEEDED(m_com.Result()));
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                         reinterpret_cast<void**>(m_pMapper.GetAddressOf())));
    }

    void ExpectEverythingRegistered()
    {
        for (int i = 0; i < kExpectedFilterCount; ++i) {
            ExpectComKeys(kExpectedFilters[i], m_dll.Path());
            ExpectMapperEntry(kExpectedFilters[i]);
            EXPECT_TRUE(MapperFinds(m_pMapper.Get(), kExpectedFilters[i])) << kExpectedFilters[i].name;
        }
    }

    void ExpectNothingRegistered()
    {
        for (int i = 0; i < kExpectedFilterCount; ++i) {
            const ExpectedFilter& filter = kExpectedFilters[i];
            EXPECT_FALSE(KeyExists(ClassKey(filter))) << ClassKey(filter);
            EXPECT_FALSE(KeyExists(InstanceKey(filter))) << InstanceKey(filter);
            EXPECT_FALSE(MapperFinds(m_pMapper.Get(), filter)) << filter.name;
        }
    }

    CV77ComInit m_com;
    CModuleDll m_dll;
    ComPtr<IFilterMapper2> m_pMapper;
};

TEST_F(RegistrationTest, RegisterServerWritesComKeysAndMapperEntries)
{
    ExpectEverythingRegistered();   // by the test environment's regsvr32
    ASSERT_EQ(S_OK, m_dll.RegisterServer());
    ExpectEverythingRegistered();
    // Registering again replaces rather than adds.
    ASSERT_EQ(S_OK, m_dll.RegisterServer());
    ExpectEverythingRegistered();
}

TEST_F(RegistrationTest, UnregisterRemovesEverythingAndMayRepeat)
{
    ASSERT_EQ(S_OK, m_dll.RegisterServer());
    // Keys someone else left beneath the server key go too, deepest first.
    for (const ExpectedFilter* filter : {&kExpectedFilters[0], &kExpectedFilters[kExpectedFilterCount - 1]}) {
        CV77RegKey extra;
        ASSERT_EQ(ERROR_SUCCESS, extra.Create(HKEY_CLASSES_ROOT, (ServerKey(*filter) + "\\Extra\\Deeper").c_str()));
        ASSERT_EQ(ERROR_SUCCESS, extra.SetString("Left", "behind"));
        ASSERT_EQ(ERROR_SUCCESS, extra.Create(HKEY_CLASSES_ROOT, (ServerKey(*filter) + "\\Extra\\Sibling").c_str()));
    }

    ASSERT_EQ(S_OK, m_dll.UnregisterServer());
    ExpectNothingRegistered();
    EXPECT_TRUE(KeyExists("CLSID")) << "only the module's own keys are removed";

    // Nothing registered: the mapper's file-not-found is not a failure.
    EXPECT_EQ(S_OK, m_dll.UnregisterServer());
    ExpectNothingRegistered();

    ASSERT_EQ(S_OK, m_dll.RegisterServer());
    ExpectEverythingRegistered();
}

}  // namespace
