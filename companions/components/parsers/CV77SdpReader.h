// Reads the session description an RTP sender writes for one MPEG-4 Part 2
// video stream (RFC 4566, RFC 3016): the connection address, the first
// video media line, its rtpmap and the decoder configuration of its fmtp.
// Other media (audio, application) are skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SdpVideoStream {
    std::string address;         // c= of the media, else of the session; empty when absent
    uint16_t port = 0;
    uint8_t payloadType = 0;
    std::string encoding;        // rtpmap encoding name, upper case ("MP4V-ES")
    uint32_t clockRate = 0;
    std::vector<uint8_t> config; // fmtp config=, hex-decoded; empty when absent
};

class CV77SdpReader {
public:
    // Parses text; on failure Error() says why.
    bool Parse(const char* text, size_t size);

    const SdpVideoStream& Stream() const { return m_Stream; }
    const std::string& Error() const { return m_Error; }

private:
    bool Fail(const std::string& message);
    bool ReadMedia(const std::string& value);
    void ReadAttribute(const std::string& value);
    bool ReadFmtp(const std::string& parameters);

    SdpVideoStream m_Stream;
    std::string m_Error;
    bool m_bInVideo = false;
    bool m_bHaveVideo = false;
    bool m_bHaveRtpmap = false;
};
