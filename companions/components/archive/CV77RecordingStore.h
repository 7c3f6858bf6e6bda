// A recording store opened for reading: its AVI segments (the folder's files
// named by V77StoreNaming, or one file with the time of its first frame), in
// time order, and the index built from them. A segment that cannot be opened
// or whose video format differs from the first readable one is left out and
// logged; its time becomes a gap.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "companions/components/archive/CV77AviSegment.h"
#include "companions/components/recording/CV77RecordingIndex.h"
#include "framework/CMediaType.h"
#include "v77/V77Types.h"

class CV77RecordingStore {
public:
    using LogFunction = std::function<void(const std::string&)>;

    explicit CV77RecordingStore(LogFunction log);

    HRESULT OpenFolder(const std::wstring& folder, CV77RecordingIndex* index);
    HRESULT OpenFile(const std::wstring& path, LONGLONG firstTime, CV77RecordingIndex* index);
    // Description of the first readable segment (after a successful Open).
    const SOURCE_INFORMATION& Information() const { return m_Info; }
    const CMediaType& MediaType() const { return m_MediaType; }
    HRESULT Read(const V77IndexedFrame& frame, BYTE* data, LONG capacity, LONG* written);
    void Close();

private:
    void Add(const std::wstring& path, LONGLONG firstTime, CV77RecordingIndex* index);

    LogFunction m_Log;
    std::vector<std::unique_ptr<CV77AviSegment>> m_Segments;
    std::vector<BYTE> m_Format;
    SOURCE_INFORMATION m_Info = {};
    CMediaType m_MediaType;
};
