#include "companions/components/archive/CV77RecordingStore.h"

#include <vfwmsgs.h>

#include <algorithm>
#include <utility>

#include "companions/components/archive/V77AviVideoFormat.h"
#include "companions/components/recording/V77StoreNaming.h"

namespace {

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

}  // namespace

CV77RecordingStore::CV77RecordingStore(LogFunction log) : m_Log(std::move(log)) {}

HRESULT CV77RecordingStore::OpenFolder(const std::wstring& folder, CV77RecordingIndex* index)
{
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        m_Log("'" + Narrow(folder) + "' is not a recording store folder\n");
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    }
    std::vector<std::pair<LONGLONG, std::wstring>> files;
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((folder + L"\\*.avi").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            if (const auto time = ParseSegmentName(Narrow(found.cFileName)))
                files.emplace_back(*time, folder + L"\\" + found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files)
        Add(file.second, file.first, index);
    return m_Segments.empty() ? VFW_E_NOT_FOUND : S_OK;
}

HRESULT CV77RecordingStore::OpenFile(const std::wstring& path, LONGLONG firstTime, CV77RecordingIndex* index)
{
    Add(path, firstTime, index);
    return m_Segments.empty() ? VFW_E_INVALID_FILE_FORMAT : S_OK;
}

void CV77RecordingStore::Add(const std::wstring& path, LONGLONG firstTime, CV77RecordingIndex* index)
{
    auto segment = std::make_unique<CV77AviSegment>();
    HRESULT hr = segment->Open(path);
    if (FAILED(hr)) {
        m_Log("segment '" + Narrow(path) + "' cannot be read (" + std::to_string(static_cast<unsigned long>(hr)) +
              "); left out\n");
        return;
    }
    if (m_Segments.empty()) {
        hr = DescribeAviVideo(segment->Format(), segment->FrameTime(), &m_Info, &m_MediaType);
        if (FAILED(hr)) {
            m_Log("segment '" + Narrow(path) + "' holds video that cannot be played; left out\n");
            return;
        }
        m_Format = segment->Format();
    } else if (segment->Format() != m_Format) {
        m_Log("segment '" + Narrow(path) + "' has another video format than the first; left out\n");
        return;
    }
    const auto number = static_cast<uint32_t>(m_Segments.size());
    const CV77RecordingIndex::AddResult added =
        index->AddSegment(number, firstTime, segment->FrameTime(), segment->Frames());
    if (added.droppedOverlap)
        m_Log("segment '" + Narrow(path) + "' overlaps the one before: " + std::to_string(added.droppedOverlap) +
              " frames left out\n");
    if (added.droppedNoKey)
        m_Log("segment '" + Narrow(path) + "': " + std::to_string(added.droppedNoKey) +
              " frames before its first key frame left out\n");
    m_Segments.push_back(std::move(segment));
}

HRESULT CV77RecordingStore::Read(const V77IndexedFrame& frame, BYTE* data, LONG capacity, LONG* written)
{
    if (frame.file >= m_Segments.size())
        return E_INVALIDARG;
    return m_Segments[frame.file]->Read(frame.position, data, capacity, written);
}

void CV77RecordingStore::Close()
{
    m_Segments.clear();
    m_Format.clear();
    m_Info = SOURCE_INFORMATION();
    m_MediaType = CMediaType();
}
