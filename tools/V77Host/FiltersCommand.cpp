#include "tools/V77Host/FiltersCommand.h"

#include <cstdio>
#include <string>
#include <strmif.h>
#include <uuids.h>
#include <wrl/client.h>
#include "tools/V77Host/CHostComApartment.h"
#include "tools/V77Host/CHostDecoder.h"
#include "tools/V77Host/HostCli.h"
#include "tools/V77Host/HostText.h"
#include "tools/V77Host/ModuleFilters.h"

using Microsoft::WRL::ComPtr;

namespace {

const char kUsage[] =
    "filters [--decoders]\n"
    "Lists the module's 23 filters as the DirectShow filter mapper holds them: name, CLSID, merit\n"
    "and every registered pin with its media types.\n"
    "  --decoders   also list the decoder filters the platform registers for MPEG-4 Part 2\n"
    "               (DX50, XVID, MP4V, DIVX, FMP4): what view would insert for a compressed camera\n"
    "Exit codes: 0 all 23 listed, 1 the mapper failed or a filter is not registered, 2 bad arguments.";

std::string PinFlagsText(DWORD flags)
{
    std::string text = (flags & REG_PINFLAG_B_OUTPUT) ? "output" : "input";
    if (flags & REG_PINFLAG_B_RENDERER)
        text += ", rendered";
    if (flags & REG_PINFLAG_B_ZERO)
        text += ", zero";
    if (flags & REG_PINFLAG_B_MANY)
        text += ", many";
    return text;
}

void PrintRegisteredPins(const CV77FilterData& data)
{
    const std::vector<CV77FilterData::Pin>& pins = data.Pins();
    for (size_t p = 0; p < pins.size(); ++p) {
        std::string types;
        for (const CV77FilterData::MediaType& type : pins[p].types)
            types += (types.empty() ? "" : ", ") + MediaTypeText(type.major, type.minor);
        std::printf("       pin %zu (%s): %s\n", p, PinFlagsText(pins[p].flags).c_str(), types.c_str());
    }
}

// Prints the mapper's view of every module filter in table order; returns how many it knows.
size_t PrintRegistry(const std::vector<RegisteredFilter>& registered)
{
    size_t count = 0;
    const ModuleFilter* filters = ModuleFilters(&count);
    size_t found = 0;
    for (size_t i = 0; i < count; ++i) {
        const RegisteredFilter* entry = FindRegistered(registered, *filters[i].clsid);
        if (!entry) {
            std::printf("  [%2zu] %s  NOT REGISTERED\n", i, GuidText(*filters[i].clsid).c_str());
            continue;
        }
        ++found;
        std::printf("  [%2zu] \"%s\" %s", i, entry->friendlyName.c_str(), GuidText(entry->clsid).c_str());
        if (!entry->hasFilterData) {
            std::printf("  (no readable FilterData)\n");
            continue;
        }
        std::printf("  merit 0x%08lX\n", static_cast<unsigned long>(entry->filterData.Merit()));
        PrintRegisteredPins(entry->filterData);
    }
    std::printf("  %zu of %zu module filters registered with the filter mapper\n", found, count);
    return found;
}

void PrintDecoders()
{
    static const char* const kFourCcs[] = {"DX50", "XVID", "MP4V", "DIVX", "FMP4"};
    std::printf("Decoders the filter mapper offers for MPEG-4 Part 2 (video input of that subtype, video output):\n");
    for (const char* text : kFourCcs) {
        const DWORD fourcc = MAKEFOURCC(text[0], text[1], text[2], text[3]);
        std::vector<HostDecoderCandidate> candidates;
        const HRESULT hr = FindDecoderCandidates(fourcc, &candidates);
        if (FAILED(hr)) {
            std::printf("  %s: %s\n", text, HResultMeaning(hr).c_str());
            continue;
        }
        std::printf("  %s: %s\n", text, candidates.empty() ? "none" : "");
        for (const HostDecoderCandidate& candidate : candidates)
            std::printf("       \"%s\" %s\n", candidate.name.c_str(), GuidText(candidate.clsid).c_str());
    }
}

}  // namespace

const RegisteredFilter* FindRegistered(const std::vector<RegisteredFilter>& filters, const CLSID& clsid)
{
    for (const RegisteredFilter& filter : filters) {
        if (filter.clsid == clsid)
            return &filter;
    }
    return nullptr;
}

HRESULT ListRegisteredFilters(size_t* found, std::vector<RegisteredFilter>* registered)
{
    ComPtr<IFilterMapper2> mapper;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  reinterpret_cast<void**>(mapper.GetAddressOf()));
    if (SUCCEEDED(hr))
        hr = FindRegisteredModuleFilters(mapper.Get(), registered);
    if (FAILED(hr)) {
        std::printf("  filter mapper: %s\n", HResultText(hr).c_str());
        return hr;
    }
    *found = PrintRegistry(*registered);
    return S_OK;
}


int RunFiltersCommand(int argc, char** argv)
{
    HostCommandSpec spec = {"filters", kUsage, {{"--decoders", false}}, 0, 0, 1};
    HostCommandLine line;
    const int code = ParseHostCommand(spec, argc, argv, &line);
    if (code >= 0)
        return code;
    CHostComApartment com;
    if (FAILED(com.Result()))
        return HostFailure("filters", "CoInitializeEx", com.Result());
    std::printf("Filters registered by the module (filter mapper, any merit):\n");
    std::vector<RegisteredFilter> registered;
    size_t found = 0;
    const HRESULT hr = ListRegisteredFilters(&found, &registered);
    if (line.args.Has("--decoders"))
        PrintDecoders();
    std::fflush(stdout);
    if (FAILED(hr))
        return HostFailure("filters", "the filter mapper", hr);
    size_t count = 0;
    ModuleFilters(&count);
    if (found != count)
        return HostFailure("filters", std::to_string(count - found) + " of the module's filters are not registered");
    return kHostExitOk;
}
