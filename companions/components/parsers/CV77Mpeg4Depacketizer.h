// Reassembles MPEG-4 Part 2 video frames from RTP packets (RFC 3016).
//
// Packets pass a small reordering window, in sequence order, into the frame
// being assembled; the packet with the marker bit ends a frame (so does a
// new timestamp, for senders that forget the marker). Duplicates, late
// packets, foreign payload types and malformed datagrams are dropped. A
// sequence gap drops the frame it damaged and everything up to the next
// marker; the next frame handed out carries the discontinuity flag, and no
// frame is handed out before a key frame (I-VOP) has arrived again. The same
// holds after a frame grew past the size limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Mpeg4Frame {
    std::vector<uint8_t> data;
    uint32_t rtpTimestamp = 0;
    bool keyFrame = false;
    bool discontinuity = false;  // the first frame, or the first after a loss
};

struct DepacketizerStats {
    uint64_t packets = 0;         // datagrams offered
    uint64_t garbage = 0;         // not RTP, or another payload type
    uint64_t duplicates = 0;      // already held or already passed (late)
    uint64_t lostPackets = 0;     // sequence numbers given up on
    uint64_t droppedFrames = 0;   // damaged, oversized or waiting for a key frame
    uint64_t oversizedFrames = 0;
    uint64_t frames = 0;          // handed out
};

class CV77Mpeg4Depacketizer {
public:
    static constexpr size_t kReorderWindow = 16;

    CV77Mpeg4Depacketizer(uint8_t payloadType, size_t maxFrameBytes);

    // Takes one datagram; appends the frames it completes to out.
    void Push(const uint8_t* data, size_t size, std::vector<Mpeg4Frame>* out);
    // Gives up waiting for missing packets (the network went quiet) and
    // passes on what is held behind them.
    void Flush(std::vector<Mpeg4Frame>* out);

    // The headers (VOS/VO/VOL) in front of the last key frame that had them.
    const std::vector<uint8_t>& InBandConfig() const { return m_Config; }
    const DepacketizerStats& Stats() const { return m_Stats; }

private:
    struct Held {
        uint16_t sequence;
        bool marker;
        uint32_t timestamp;
        std::vector<uint8_t> payload;
    };

    void Restart(uint16_t sequence, uint32_t ssrc);
    void Drain(std::vector<Mpeg4Frame>* out);
    void SkipToEarliestHeld();
    void Accept(const Held& packet, std::vector<Mpeg4Frame>* out);
    void Lose();
    void EmitPending(std::vector<Mpeg4Frame>* out);

    const uint8_t m_uPayloadType;
    const size_t m_cbMaxFrame;

    bool m_bStarted = false;
    uint32_t m_uSsrc = 0;
    uint16_t m_uExpected = 0;
    std::vector<Held> m_Held;       // ahead of m_uExpected, unordered, at most kReorderWindow

    std::vector<uint8_t> m_Pending;
    uint32_t m_uPendingTimestamp = 0;
    bool m_bSkipToMarker = false;   // the frame in progress was damaged
    uint32_t m_uSkipTimestamp = 0;
    bool m_bSkipTimestampKnown = false;
    bool m_bDiscontinuity = true;
    bool m_bNeedKey = true;

    std::vector<uint8_t> m_Config;
    DepacketizerStats m_Stats;
};
