// Inputs made by ffmpeg for the parser tests: encoded files, the per-packet
// checksums ffmpeg itself reports (framecrc: Adler-32 seeded with 0), and RTP
// datagrams captured from ffmpeg's RTP muxer on a loopback port.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace v77test {

struct PacketCrc {
    size_t size = 0;
    uint32_t crc = 0;
    bool key = false;
};

// A fresh directory under the system's temporary folder, removed with its files.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string Path(const std::string& name) const { return m_Path + "/" + name; }

private:
    std::string m_Path;
};

// Runs a shell command; true when it exited with 0.
bool Run(const std::string& command);
std::vector<uint8_t> ReadFile(const std::string& path);
uint32_t Adler32(const uint8_t* data, size_t size);
// What `ffmpeg -i path -c copy -f framecrc` says about the file's video packets.
std::vector<PacketCrc> FrameCrcs(const std::string& path);
// An MPEG-4 Part 2 AVI of the test pattern (no B-frames, key frame every gop).
bool MakeMpeg4Avi(const std::string& path, int frames, int gop, const std::string& size = "176x144");

// ffmpeg sends its input (inputArgs: options and -i) as RTP to a free
// loopback port, paced at the stream's rate; the datagrams are returned in
// arrival order and the SDP it wrote is at sdpPath.
std::vector<std::vector<uint8_t>> CaptureRtp(const std::string& inputArgs, const std::string& sdpPath,
                                             const std::string& outputOptions);

// Which reference packets a receiver hands out when frames larger than limit
// are dropped and frames are withheld until a key frame.
// The size of the largest key frame: a limit just below it drops one GOP.
size_t LargestKeyFrame(const std::vector<PacketCrc>& reference);
std::vector<int> ExpectedWithLimit(const std::vector<PacketCrc>& reference, size_t limit);

}  // namespace v77test
