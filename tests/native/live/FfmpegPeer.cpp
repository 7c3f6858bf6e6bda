#include "tests/native/live/FfmpegPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

extern char** environ;

namespace v77test {

TempDir::TempDir()
{
    char pattern[] = "/tmp/v77-parsers-XXXXXX";
    const char* made = mkdtemp(pattern);
    m_Path = made ? made : "/tmp";
}

TempDir::~TempDir()
{
    if (m_Path != "/tmp")
        Run("rm -rf '" + m_Path + "'");
}

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Adler32(const uint8_t* data, size_t size)
{
    uint32_t a = 0;
    uint32_t b = 0;
    for (size_t i = 0; i < size; ++i) {
        a = (a + data[i]) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

std::vector<PacketCrc> FrameCrcs(const std::string& path)
{
    std::vector<PacketCrc> crcs;
    const std::string command = "ffmpeg -v error -i '" + path + "' -map 0:v:0 -c copy -f framecrc -";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return crcs;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        if (line[0] == '#')
            continue;
        unsigned stream = 0;
        long long dts = 0, pts = 0, duration = 0;
        size_t size = 0;
        unsigned crc = 0;
        if (std::sscanf(line, "%u, %lld, %lld, %lld, %zu, 0x%x", &stream, &dts, &pts, &duration, &size, &crc) != 6)
            continue;
        // framecrc appends F=0x.. only for packets whose flags differ from "key".
        crcs.push_back({size, crc, std::strstr(line, "F=0x") == nullptr});
    }
    pclose(pipe);
    return crcs;
}

bool MakeMpeg4Avi(const std::string& path, int frames, int gop, const std::string& size)
{
    return Run("ffmpeg -v error -y -f lavfi -i testsrc=size=" + size + ":rate=25 -frames:v " +
               std::to_string(frames) + " -c:v mpeg4 -bf 0 -g " + std::to_string(gop) + " -threads 1 '" + path +
               "'");
}

size_t LargestKeyFrame(const std::vector<PacketCrc>& reference)
{
    size_t largest = 0;
    for (const PacketCrc& p : reference) {
        if (p.key)
            largest = std::max(largest, p.size);
    }
    return largest;
}

std::vector<int> ExpectedWithLimit(const std::vector<PacketCrc>& reference, size_t limit)
{
    std::vector<int> expected;
    bool needKey = true;
    for (size_t i = 0; i < reference.size(); ++i) {
        if (reference[i].size > limit) {
            needKey = true;
        } else if (!needKey || reference[i].key) {
            needKey = false;
            expected.push_back(static_cast<int>(i));
        }
    }
    return expected;
}

std::vector<std::vector<uint8_t>> CaptureRtp(const std::string& inputArgs, const std::string& sdpPath,
                                             const std::string& outputOptions)
{
    std::vector<std::vector<uint8_t>> datagrams;
    const int sock = socket(AF_INET, SOCK_DGRAM, 0);
    if (sock < 0)
        return datagrams;
    int bufferBytes = 16 << 20;
    setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(sock);
        return datagrams;
    }
    const std::string url = "rtp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    const std::string command = "exec ffmpeg -v error -y -re " + inputArgs + " -map 0:v:0 " + outputOptions +
                                " -f rtp -sdp_file '" + sdpPath + "' " + url;
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        close(sock);
        return datagrams;
    }
    // Bounded: ffmpeg paces at the stream's rate; give it 60 s at most.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool exited = false;
    int quietPolls = 0;
    std::vector<uint8_t> buffer(65536);
    while (std::chrono::steady_clock::now() < deadline && quietPolls < 3) {
        pollfd fd = {sock, POLLIN, 0};
        if (poll(&fd, 1, 100) > 0) {
            const ssize_t got = recv(sock, buffer.data(), buffer.size(), 0);
            if (got > 0)
                datagrams.emplace_back(buffer.begin(), buffer.begin() + got);
            continue;
        }
        if (!exited) {
            int status = 0;
            exited = waitpid(pid, &status, WNOHANG) == pid;
        } else {
            ++quietPolls;
        }
    }
    if (!exited) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    close(sock);
    return datagrams;
}

}  // namespace v77test
