#include <winsock2.h>

#include "tools/common/V77Loopback.h"

unsigned short V77FreeLoopbackPort(int type)
{
    // Its own Winsock reference: a caller that holds none loses no socket at the cleanup.
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return 0;
    unsigned short port = 0;
    const SOCKET s = socket(AF_INET, type, 0);
    if (s != INVALID_SOCKET) {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        closesocket(s);
    }
    WSACleanup();
    return port;
}
