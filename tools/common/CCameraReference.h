// ffmpeg's packet list of the camera recording (framecrc): a frame is known
// by its size and Adler-32, which give its number in the recording.
#pragma once

#include <windows.h>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

class CCameraReference {
public:
    // Reads a framecrc file (a Windows path); false when it holds no packet
    // or two packets alike (then frames could not be told apart).
    bool Load(const std::wstring& path);
    // The frame number of these bytes, -1 when they are no packet of the recording.
    int Identify(const BYTE* data, size_t size) const;
    int Identify(const std::vector<BYTE>& bytes) const { return Identify(bytes.data(), bytes.size()); }
    bool IsKey(int frame) const { return frame >= 0 && frame < Count() && m_Key[frame]; }
    int Count() const { return static_cast<int>(m_Key.size()); }

    static uint32_t Adler32(const BYTE* data, size_t size);
    // The frame numbers of another framecrc file (a segment as ffmpeg reads it); -1 for foreign packets.
    std::vector<int> IdentifyList(const std::wstring& path, std::vector<bool>* keys = nullptr) const;
    // The (size, Adler-32) of each packet of a framecrc file, and whether it is
    // a key frame; false when the file holds no packet.
    static bool ReadList(const std::wstring& path, std::vector<std::pair<size_t, uint32_t>>* packets,
                         std::vector<bool>* keys);

private:

    std::map<std::pair<size_t, uint32_t>, int> m_Frames;
    std::vector<bool> m_Key;
};
