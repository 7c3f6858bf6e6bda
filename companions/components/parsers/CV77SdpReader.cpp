#include "companions/components/parsers/CV77SdpReader.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

namespace {

// Lines longer than this are not SDP.
constexpr size_t kMaxLine = 4096;

std::string Trim(const std::string& s)
{
    size_t begin = 0;
    size_t end = s.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(s[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1])))
        --end;
    return s.substr(begin, end - begin);
}

bool ParseNumber(const std::string& text, unsigned long max, unsigned long* value)
{
    if (text.empty() || text.size() > 10)
        return false;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    }
    const unsigned long v = std::strtoul(text.c_str(), nullptr, 10);
    if (v > max)
        return false;
    *value = v;
    return true;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

bool CV77SdpReader::Fail(const std::string& message)
{
    m_Error = message;
    return false;
}

bool CV77SdpReader::Parse(const char* text, size_t size)
{
    m_Stream = SdpVideoStream();
    m_Error.clear();
    m_bInVideo = m_bHaveVideo = m_bHaveRtpmap = false;
    if (!text || size == 0)
        return Fail("empty session description");
    std::string sessionAddress;
    size_t lineNumber = 0;
    for (size_t at = 0; at < size;) {
        size_t end = at;
        while (end < size && text[end] != '\n')
            ++end;
        ++lineNumber;
        if (end - at > kMaxLine)
            return Fail("line " + std::to_string(lineNumber) + " is too long");
        std::string line(text + at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        if (line.size() < 2 || line[1] != '=' || !std::islower(static_cast<unsigned char>(line[0])))
            return Fail("line " + std::to_string(lineNumber) + " is not a type=value line");
        if (line.find('\0') != std::string::npos)
            return Fail("line " + std::to_string(lineNumber) + " holds a NUL byte");
        const char type = line[0];
        const std::string value = line.substr(2);
        if (lineNumber == 1 && type != 'v')
            return Fail("a session description starts with v=");
        if (type == 'v' && Trim(value) != "0")
            return Fail("unsupported SDP version");
        if (type == 'm') {
            if (m_bHaveVideo) {
                m_bInVideo = false;  // only the first video stream is ours
                continue;
            }
            if (!ReadMedia(value))
                return false;
        } else if (type == 'c') {
            std::istringstream fields(value);
            std::string net, addrType, address;
            fields >> net >> addrType >> address;
            if (net != "IN" || (addrType != "IP4" && addrType != "IP6") || address.empty())
                return Fail("malformed connection line");
            address = address.substr(0, address.find('/'));  // drop a multicast TTL
            if (m_bInVideo)
                m_Stream.address = address;
            else if (!m_bHaveVideo)
                sessionAddress = address;
        } else if (type == 'a' && m_bInVideo) {
            ReadAttribute(value);
            if (!m_Error.empty())
                return false;
        }
    }
    if (!m_bHaveVideo)
        return Fail("no video stream in the session description");
    if (m_Stream.address.empty())
        m_Stream.address = sessionAddress;
    if (!m_bHaveRtpmap) {
        // Static payload types have no rtpmap; MPEG-4 Part 2 is always dynamic.
        return Fail("no rtpmap for payload type " + std::to_string(m_Stream.payloadType));
    }
    if (m_Stream.encoding != "MP4V-ES")
        return Fail("unsupported video encoding " + m_Stream.encoding);
    return true;
}

bool CV77SdpReader::ReadMedia(const std::string& value)
{
    std::istringstream fields(value);
    std::string media, port, proto, format;
    fields >> media >> port >> proto >> format;
    if (media != "video")
        return true;
    unsigned long portNumber = 0;
    unsigned long payloadType = 0;
    if (!ParseNumber(port.substr(0, port.find('/')), 65535, &portNumber) || portNumber == 0)
        return Fail("malformed port in the video media line");
    if (proto != "RTP/AVP" && proto != "RTP/AVPF")
        return Fail("unsupported transport " + proto);
    if (!ParseNumber(format, 127, &payloadType))
        return Fail("malformed payload type in the video media line");
    m_Stream.port = static_cast<uint16_t>(portNumber);
    m_Stream.payloadType = static_cast<uint8_t>(payloadType);
    m_bInVideo = m_bHaveVideo = true;
    return true;
}

void CV77SdpReader::ReadAttribute(const std::string& value)
{
    const size_t colon = value.find(':');
    if (colon == std::string::npos)
        return;
    const std::string name = value.substr(0, colon);
    const std::string rest = value.substr(colon + 1);
    const size_t space = rest.find(' ');
    unsigned long payloadType = 0;
    if (space == std::string::npos || !ParseNumber(rest.substr(0, space), 127, &payloadType) ||
        payloadType != m_Stream.payloadType)
        return;
    const std::string parameters = Trim(rest.substr(space + 1));
    if (name == "rtpmap") {
        const size_t slash = parameters.find('/');
        if (slash == std::string::npos) {
            Fail("malformed rtpmap");
            return;
        }
        std::string encoding = parameters.substr(0, slash);
        for (char& c : encoding)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const std::string clock = parameters.substr(slash + 1);
        unsigned long rate = 0;
        if (!ParseNumber(clock.substr(0, clock.find('/')), 0xFFFFFFFFul, &rate) || rate == 0) {
            Fail("malformed rtpmap clock rate");
            return;
        }
        m_Stream.encoding = encoding;
        m_Stream.clockRate = static_cast<uint32_t>(rate);
        m_bHaveRtpmap = true;
    } else if (name == "fmtp") {
        ReadFmtp(parameters);
    }
}

bool CV77SdpReader::ReadFmtp(const std::string& parameters)
{
    std::istringstream list(parameters);
    std::string item;
    while (std::getline(list, item, ';')) {
        item = Trim(item);
        const size_t equals = item.find('=');
        if (equals == std::string::npos)
            continue;
        std::string key = item.substr(0, equals);
        for (char& c : key)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (key != "config")
            continue;
        const std::string hex = item.substr(equals + 1);
        if (hex.size() % 2 != 0)
            return Fail("config has an odd number of hex digits");
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < hex.size(); i += 2) {
            const int high = HexDigit(hex[i]);
            const int low = HexDigit(hex[i + 1]);
            if (high < 0 || low < 0)
                return Fail("config is not hexadecimal");
            bytes.push_back(static_cast<uint8_t>(high * 16 + low));
        }
        m_Stream.config.swap(bytes);
    }
    return true;
}
