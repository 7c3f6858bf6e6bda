#include "tools/V77Host/DemoCommand.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <control.h>
#include <strmif.h>
#include <uuids.h>
#include <wrl/client.h>
#include "tools/V77Host/ArchivePlaybackDemo.h"
#include "tools/V77Host/AviLiveViewDemo.h"
#include "tools/V77Host/LocalCaptureViewDemo.h"
#include "tools/V77Host/CHostComApartment.h"
#include "tools/V77Host/DayDemo.h"
#include "tools/V77Host/DirectDrawDemo.h"
#include "tools/V77Host/FiltersCommand.h"
#include "tools/V77Host/HostText.h"
#include "tools/V77Host/JpegSnapshotDemo.h"
#include "tools/V77Host/LiveGraphDemo.h"
#include "tools/V77Host/ModuleFilters.h"
#include "tools/V77Host/RecordingDemo.h"
#include "tools/V77Host/RegisteredFilters.h"
#include "tools/V77Host/ZoneOverlayDemo.h"

using Microsoft::WRL::ComPtr;

namespace {

std::string PinMediaTypes(IPin* pin)
{
    ComPtr<IEnumMediaTypes> types;
    if (FAILED(pin->EnumMediaTypes(types.GetAddressOf())))
        return "?";
    std::string text;
    AM_MEDIA_TYPE* type = nullptr;
    while (types->Next(1, &type, nullptr) == S_OK) {
        text += (text.empty() ? "" : ", ") + MediaTypeText(type->majortype, type->subtype);
        if (type->cbFormat)
            CoTaskMemFree(type->pbFormat);
        if (type->pUnk)
            type->pUnk->Release();
        CoTaskMemFree(type);
    }
    return text.empty() ? "no preferred types" : text;
}

void PrintFilterPins(IBaseFilter* filter)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.GetAddressOf())))
        return;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_INFO info = {};
        if (FAILED(pin->QueryPinInfo(&info)))
            continue;
        if (info.pFilter)
            info.pFilter->Release();
        std::printf("       pin \"%s\" (%s): %s\n", Narrow(info.achName).c_str(),
                    info.dir == PINDIR_OUTPUT ? "output" : "input", PinMediaTypes(pin.Get()).c_str());
    }
}

std::wstring GraphName(const RegisteredFilter* entry, size_t index)
{
    if (entry && !entry->friendlyName.empty())
        return std::wstring(entry->friendlyName.begin(), entry->friendlyName.end());
    return L"Filter " + std::to_wstring(index);
}

// Creates one filter by CLSID and adds it to the graph; true unless something failed
// other than the filter not being built yet.
bool AddToGraph(IGraphBuilder* graph, const ModuleFilter& filter, const RegisteredFilter* entry, size_t index)
{
    std::printf("  [%2zu] %-28s ", index, filter.className);
    ComPtr<IBaseFilter> instance;
    HRESULT hr = CoCreateInstance(*filter.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void**>(instance.GetAddressOf()));
    if (FAILED(hr)) {
        std::printf("%s\n", HResultText(hr).c_str());
        // Not built yet, or its live receiver is not installed.
        return hr == E_NOTIMPL || hr == REGDB_E_CLASSNOTREG;
    }
    hr = graph->AddFilter(instance.Get(), GraphName(entry, index).c_str());
    if (FAILED(hr)) {
        std::printf("created, AddFilter: %s\n", HResultText(hr).c_str());
        return false;
    }
    std::printf("created, added to the graph\n");
    PrintFilterPins(instance.Get());
    return true;
}

bool BuildGraph(const std::vector<RegisteredFilter>& registered)
{
    ComPtr<IGraphBuilder> graph;
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(graph.GetAddressOf()));
    if (FAILED(hr)) {
        std::printf("  filter graph: %s\n", HResultText(hr).c_str());
        return false;
    }
    size_t count = 0;
    const ModuleFilter* filters = ModuleFilters(&count);
    bool ok = true;
    for (size_t i = 0; i < count; ++i)
        ok = AddToGraph(graph.Get(), filters[i], FindRegistered(registered, *filters[i].clsid), i) && ok;
    return ok;
}

}  // namespace

// The value of --name VALUE, else fallback.
std::wstring OptionValue(int argc, char** argv, const char* name, const wchar_t* fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == name)
            return std::wstring(argv[i + 1], argv[i + 1] + std::strlen(argv[i + 1]));
    }
    return fallback;
}

// The snapshot path: --snapshot PATH, else v77-snapshot.jpg in the current folder.
std::wstring SnapshotPath(int argc, char** argv)
{
    return OptionValue(argc, argv, "--snapshot", L"v77-snapshot.jpg");
}

int RunDemoCommand(int argc, char** argv)
{
    CHostComApartment com;
    if (FAILED(com.Result())) {
        std::printf("CoInitializeEx: %s\n", HResultText(com.Result()).c_str());
        return 1;
    }
    std::printf("Filters registered by the module (filter mapper, any merit):\n");
    std::vector<RegisteredFilter> registered;
    size_t found = 0;
    const bool listed = SUCCEEDED(ListRegisteredFilters(&found, &registered));
    size_t count = 0;
    ModuleFilters(&count);

    std::printf("\nCreating every filter in a filter graph:\n");
    const bool built = BuildGraph(registered);

    std::printf("\nLive graph into a window:\n");
    std::fflush(stdout);
    const bool live = RunLiveGraphDemo();
    std::printf("\nJPEG snapshot:\n");
    std::fflush(stdout);
    const bool snapshot = RunJpegSnapshotDemo(SnapshotPath(argc, argv)) && RunDirectDrawDemo(SnapshotPath(argc, argv));
    std::printf("\nZone overlay:\n");
    std::fflush(stdout);
    const bool zones = RunZoneOverlayDemo(SnapshotPath(argc, argv));
    std::printf("\nLive view of an AVI file:\n");
    std::fflush(stdout);
    const bool aviView = RunAviLiveViewDemo(OptionValue(argc, argv, "--avi", L""));
    const bool recorded = RunRecordingDemo(OptionValue(argc, argv, "--record-from", L""),
                                           OptionValue(argc, argv, "--record", L"v77-record.avi"));
    const bool localView = (std::printf("\nLive view from the local capture process:\n"), RunLocalCaptureViewDemo());
    std::printf("\nArchive playback in three synchronised views:\n");
    std::fflush(stdout);
    const bool archive = RunArchivePlaybackDemo(OptionValue(argc, argv, "--store", L""));
    const bool day = (std::printf("\nA recording-and-playback day:\n"), std::fflush(stdout),
                      RunDayDemo(OptionValue(argc, argv, "--day", L"")));
    const bool passed = day && listed && found == count && built && live && snapshot && zones && aviView && recorded
                        && localView && archive;
    std::printf("\nDemo %s\n", passed ? "passed" : "FAILED");
    std::fflush(stdout);
    return passed ? 0 : 1;
}
