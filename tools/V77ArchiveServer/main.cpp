// V77ArchiveServer: serves a recording store to TCP archive receivers.
//   V77ArchiveServer --store <folder> [--port N] [--frame-delay-ms N]
// Listens on 127.0.0.1 (port 0 or none: a free one) and prints the port on
// its first line; runs until it is ended.
#include "tools/V77ArchiveServer/CV77ArchiveServer.h"

#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    std::wstring store;
    long port = 0;
    long delay = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        if (name == L"--store")
            store = argv[i + 1];
        else if (name == L"--port")
            port = std::wcstol(argv[i + 1], nullptr, 10);
        else if (name == L"--frame-delay-ms")
            delay = std::wcstol(argv[i + 1], nullptr, 10);
    }
    if (store.empty() || port < 0 || port > 65535 || delay < 0) {
        std::fprintf(stderr, "usage: V77ArchiveServer --store <folder> [--port N] [--frame-delay-ms N]\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CV77ArchiveServer server;
    HRESULT hr = server.Open(store);
    if (FAILED(hr)) {
        std::fprintf(stderr, "V77ArchiveServer: the store holds no playable recording (0x%08lX)\n",
                     static_cast<unsigned long>(hr));
        return 1;
    }
    hr = server.Listen(static_cast<uint16_t>(port));
    if (FAILED(hr)) {
        std::fprintf(stderr, "V77ArchiveServer: cannot listen on port %ld (0x%08lX)\n", port,
                     static_cast<unsigned long>(hr));
        return 1;
    }
    server.SetFrameDelay(static_cast<DWORD>(delay));
    std::printf("V77ArchiveServer: port %u, %zu frames\n", server.Port(), server.FrameCount());
    std::fflush(stdout);
    server.Serve();
    return 0;
}
