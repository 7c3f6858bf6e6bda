#include "tests/buffer/BufferGraphFixture.h"

#include <cstdlib>

#include "v77/V77Guids.h"

ComPtr<CV77DsBufferFilter> NewBufferFilter()
{
    HRESULT hr = S_OK;
    CUnknown* object = CV77DsBufferFilter::CreateInstance(nullptr, &hr);
    if (!object)
        return nullptr;
    auto* filter = static_cast<CV77DsBufferFilter*>(object);
    if (FAILED(hr)) {
        delete filter;
        return nullptr;
    }
    ComPtr<CV77DsBufferFilter> result(filter);  // the first reference
    return result;
}

ComPtr<IV77DsBuffer> BufferControl(CV77DsBufferFilter* filter)
{
    ComPtr<IV77DsBuffer> control;
    filter->QueryInterface(IID_IV77DsBuffer, reinterpret_cast<void**>(control.GetAddressOf()));
    return control;
}

ComPtr<IV77DsBufferMaster> BufferMaster(CV77DsBufferFilter* filter)
{
    ComPtr<IV77DsBufferMaster> master;
    filter->QueryInterface(IID_IV77DsBufferMaster, reinterpret_cast<void**>(master.GetAddressOf()));
    return master;
}

std::vector<GraphEvent> EventsWithCode(const TestGraph& graph, long code)
{
    std::vector<GraphEvent> found;
    for (const GraphEvent& event : graph.EventsSeen()) {
        if (event.code == code)
            found.push_back(event);
    }
    return found;
}

LONGLONG MediaTimeOf(const GraphEvent& event)
{
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(event.param2)) << 32) |
                                 static_cast<DWORD>(event.param1));
}

void ExpectGroupInStep(CTestRenderer* master, const std::vector<CTestRenderer*>& views,
                       const std::function<int(const RenderedSample&)>& frameOf, const char* phase)
{
    Sleep(300);
    const std::vector<RenderedSample> drawn = master->Samples();
    ASSERT_FALSE(drawn.empty()) << phase;
    const REFERENCE_TIME since = drawn.back().streamTime - 3000000;
    for (size_t v = 0; v < views.size(); ++v) {
        const GroupLag lag = LagBehindMaster(drawn, views[v]->Samples(), since, frameOf);
        ASSERT_GE(lag.differences.size(), 3u) << phase << ": the master played on";
        EXPECT_LE(std::abs(lag.Median()), 1) << phase << ": view " << v + 1 << " against the master (view/master):"
                                              << lag.text;
    }
}
