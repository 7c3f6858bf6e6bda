#include "companions/components/archive/CV77ArchiveConnection.h"

#include "companions/components/archive/V77ArchiveDescribe.h"

#include <vector>

#include "companions/components/archive/CV77CaptureArchiveChannel.h"
#include "companions/components/recording/V77ArchiveProtocol.h"
#include "companions/components/recording/V77CaptureArchive.h"

namespace P = V77ArchiveProtocol;

double ArchiveServerAverageFrameSize(const std::wstring& address, DWORD timeoutMs)
{
    std::string peer;
    for (wchar_t c : address)
        peer += c < 128 ? static_cast<char>(c) : '?';
    CV77ArchiveConnection connection;
    if (FAILED(connection.Connect(peer, timeoutMs)))
        return 0.0;
    std::vector<uint8_t> request;
    P::Encode(P::Request(), &request);  // a describe request
    uint8_t header[P::kDescribeSize];
    P::Description description;
    if (connection.Send(request.data(), request.size(), timeoutMs, nullptr) != S_OK ||
        connection.Receive(header, sizeof header, timeoutMs, nullptr) != S_OK ||
        !P::Decode(header, sizeof header, &description))
        return 0.0;
    return description.averageFrameSize;  // the format that follows is not needed
}

double CaptureArchiveAverageFrameSize(const std::wstring& name, DWORD timeoutMs)
{
    CV77CaptureArchiveChannel channel;
    std::vector<uint8_t> message;
    P::Encode(P::Request(), &message);  // a describe request
    V77CaptureArchive::Describe describe;
    if (FAILED(channel.Connect(name, timeoutMs)) || FAILED(channel.Send(message, timeoutMs)) ||
        FAILED(channel.Receive(&message, V77CaptureArchive::kMaxDescribeSize, timeoutMs)) ||
        !V77CaptureArchive::Decode(message.data(), message.size(), &describe))
        return 0.0;
    return describe.description.averageFrameSize;
}
