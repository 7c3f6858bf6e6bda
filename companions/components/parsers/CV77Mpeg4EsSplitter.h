// Splits an MPEG-4 Part 2 elementary stream, arriving in chunks of any size,
// into frames: each frame runs from the headers in front of a VOP (VOS, VO,
// VOL, GOV, user data) through the VOP's data to the next such start code.
// Bytes before the first start code are garbage and dropped; a frame growing
// past the size limit is dropped and the splitter resynchronises on the next
// start code. Frames are withheld until a key frame (I-VOP), at the start
// and after a drop; the next one handed out carries the discontinuity flag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "companions/components/parsers/Mpeg4Headers.h"

struct Mpeg4EsFrame {
    std::vector<uint8_t> data;
    bool keyFrame = false;
    bool discontinuity = false;
    double time = -1.0;  // seconds from the VOP header, -1 before a VOL was seen
};

struct EsSplitterStats {
    uint64_t garbageBytes = 0;   // dropped while looking for a start code
    uint64_t oversizedFrames = 0;
    uint64_t withheldFrames = 0; // waiting for a key frame
    uint64_t frames = 0;
};

class CV77Mpeg4EsSplitter {
public:
    explicit CV77Mpeg4EsSplitter(size_t maxFrameBytes);

    // Takes the next bytes of the stream; appends the frames they complete to out.
    void Push(const uint8_t* data, size_t size, std::vector<Mpeg4EsFrame>* out);
    // The stream ended: a frame still open may be cut short, so it is dropped.
    // Returns the number of bytes dropped.
    size_t Finish();

    bool HaveVol() const { return m_bHaveVol; }
    const v77mpeg4::VolInfo& Vol() const { return m_Vol; }
    const EsSplitterStats& Stats() const { return m_Stats; }

private:
    static bool StartsFrame(uint8_t code);
    void Emit(size_t length, std::vector<Mpeg4EsFrame>* out);
    void Drop();

    const size_t m_cbMaxFrame;
    std::vector<uint8_t> m_Buffer;  // from the start code opening the current frame
    size_t m_uScan = 0;             // where the search for the next start code resumes
    bool m_bSynced = false;
    bool m_bSawVop = false;
    bool m_bNeedKey = true;
    bool m_bDiscontinuity = true;
    uint8_t m_Tail[3] = {};         // last bytes seen while unsynchronised
    size_t m_cbTail = 0;

    bool m_bHaveVol = false;
    v77mpeg4::VolInfo m_Vol;
    uint64_t m_uSeconds = 0;        // whole seconds of modulo_time_base so far
    EsSplitterStats m_Stats;
};
