#include "companions/components/parsers/CV77Mpeg4Depacketizer.h"

#include <algorithm>

#include "companions/components/parsers/Mpeg4Headers.h"
#include "companions/components/parsers/RtpPacket.h"

namespace {

// Jumps larger than this are a restarted sender, not loss or reordering.
constexpr int kResyncDistance = 3000;

int Distance(uint16_t from, uint16_t to) { return static_cast<int16_t>(static_cast<uint16_t>(to - from)); }

}  // namespace

CV77Mpeg4Depacketizer::CV77Mpeg4Depacketizer(uint8_t payloadType, size_t maxFrameBytes)
    : m_uPayloadType(payloadType), m_cbMaxFrame(maxFrameBytes)
{
}

void CV77Mpeg4Depacketizer::Push(const uint8_t* data, size_t size, std::vector<Mpeg4Frame>* out)
{
    ++m_Stats.packets;
    RtpPacket packet;
    if (!ParseRtpPacket(data, size, &packet) || packet.payloadType != m_uPayloadType) {
        ++m_Stats.garbage;
        return;
    }
    if (!m_bStarted || packet.ssrc != m_uSsrc) {
        Restart(packet.sequence, packet.ssrc);
    } else {
        const int distance = Distance(m_uExpected, packet.sequence);
        if (distance < -kResyncDistance || distance > kResyncDistance) {
            Restart(packet.sequence, packet.ssrc);
        } else if (distance < 0) {
            ++m_Stats.duplicates;
            return;
        }
    }
    for (const Held& held : m_Held) {
        if (held.sequence == packet.sequence) {
            ++m_Stats.duplicates;
            return;
        }
    }
    m_Held.push_back({packet.sequence, packet.marker, packet.timestamp,
                      std::vector<uint8_t>(packet.payload, packet.payload + packet.payloadSize)});
    Drain(out);
    while (m_Held.size() > kReorderWindow) {
        SkipToEarliestHeld();
        Drain(out);
    }
}

void CV77Mpeg4Depacketizer::Flush(std::vector<Mpeg4Frame>* out)
{
    while (!m_Held.empty()) {
        SkipToEarliestHeld();
        Drain(out);
    }
}

void CV77Mpeg4Depacketizer::Restart(uint16_t sequence, uint32_t ssrc)
{
    if (m_bStarted)
        Lose();
    m_bStarted = true;
    m_uSsrc = ssrc;
    m_uExpected = sequence;
    m_Held.clear();
}

void CV77Mpeg4Depacketizer::Drain(std::vector<Mpeg4Frame>* out)
{
    for (;;) {
        auto next = std::find_if(m_Held.begin(), m_Held.end(),
                                 [this](const Held& held) { return held.sequence == m_uExpected; });
        if (next == m_Held.end())
            return;
        Held packet = std::move(*next);
        m_Held.erase(next);
        ++m_uExpected;
        Accept(packet, out);
    }
}

void CV77Mpeg4Depacketizer::SkipToEarliestHeld()
{
    auto earliest = std::min_element(m_Held.begin(), m_Held.end(), [this](const Held& a, const Held& b) {
        return Distance(m_uExpected, a.sequence) < Distance(m_uExpected, b.sequence);
    });
    m_Stats.lostPackets += static_cast<uint64_t>(Distance(m_uExpected, earliest->sequence));
    m_uExpected = earliest->sequence;
    Lose();
}

void CV77Mpeg4Depacketizer::Accept(const Held& packet, std::vector<Mpeg4Frame>* out)
{
    if (m_bSkipToMarker) {
        // The damaged frame ends at its marker. A packet with another
        // timestamp that opens with a start code begins a new frame: the
        // damaged frame's marker was among the lost packets.
        const bool startsFrame = packet.payload.size() >= 4 && packet.payload[0] == 0 && packet.payload[1] == 0 &&
                                 packet.payload[2] == 1;
        const bool damagedFrame = m_bSkipTimestampKnown && packet.timestamp == m_uSkipTimestamp;
        if (damagedFrame || !startsFrame) {
            m_uSkipTimestamp = packet.timestamp;
            m_bSkipTimestampKnown = true;
            if (packet.marker)
                m_bSkipToMarker = false;
            return;
        }
        m_bSkipToMarker = false;
    }
    if (!m_Pending.empty() && packet.timestamp != m_uPendingTimestamp)
        EmitPending(out);
    if (m_Pending.size() + packet.payload.size() > m_cbMaxFrame) {
        ++m_Stats.oversizedFrames;
        m_Pending.clear();
        Lose();
        m_uSkipTimestamp = packet.timestamp;
        m_bSkipTimestampKnown = true;
        m_bSkipToMarker = !packet.marker;
        return;
    }
    m_Pending.insert(m_Pending.end(), packet.payload.begin(), packet.payload.end());
    m_uPendingTimestamp = packet.timestamp;
    if (packet.marker)
        EmitPending(out);
}

void CV77Mpeg4Depacketizer::Lose()
{
    m_bSkipTimestampKnown = !m_Pending.empty();
    if (!m_Pending.empty()) {
        ++m_Stats.droppedFrames;
        m_uSkipTimestamp = m_uPendingTimestamp;
    }
    m_Pending.clear();
    m_bSkipToMarker = true;
    m_bDiscontinuity = true;
    m_bNeedKey = true;
}

void CV77Mpeg4Depacketizer::EmitPending(std::vector<Mpeg4Frame>* out)
{
    if (m_Pending.empty())
        return;
    v77mpeg4::VopInfo vop;
    const bool key = v77mpeg4::FindVop(m_Pending.data(), m_Pending.size(), nullptr, &vop) &&
                     vop.codingType == v77mpeg4::kVopI;
    if (m_bNeedKey && !key) {
        ++m_Stats.droppedFrames;
        m_Pending.clear();
        return;
    }
    if (key) {
        const size_t vopAt = [this] {
            for (size_t at = v77mpeg4::FindStartCode(m_Pending.data(), m_Pending.size(), 0);
                 at + 4 <= m_Pending.size(); at = v77mpeg4::FindStartCode(m_Pending.data(), m_Pending.size(), at + 3)) {
                if (m_Pending[at + 3] == v77mpeg4::kVop)
                    return at;
            }
            return size_t(0);
        }();
        v77mpeg4::VolInfo vol;
        if (vopAt > 0 && v77mpeg4::FindVol(m_Pending.data(), vopAt, &vol))
            m_Config.assign(m_Pending.begin(), m_Pending.begin() + static_cast<std::ptrdiff_t>(vopAt));
    }
    m_bNeedKey = false;
    Mpeg4Frame frame;
    frame.data.swap(m_Pending);
    frame.rtpTimestamp = m_uPendingTimestamp;
    frame.keyFrame = key;
    frame.discontinuity = m_bDiscontinuity;
    m_bDiscontinuity = false;
    ++m_Stats.frames;
    out->push_back(std::move(frame));
}
