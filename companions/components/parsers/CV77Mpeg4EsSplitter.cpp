#include "companions/components/parsers/CV77Mpeg4EsSplitter.h"

#include <algorithm>

using namespace v77mpeg4;

CV77Mpeg4EsSplitter::CV77Mpeg4EsSplitter(size_t maxFrameBytes) : m_cbMaxFrame(maxFrameBytes) {}

bool CV77Mpeg4EsSplitter::StartsFrame(uint8_t code)
{
    return code == kVop || code == kVisualObjectSequenceStart || code == kVisualObjectSequenceEnd ||
           code == kVisualObject || code == kGroupOfVop || IsVideoObjectCode(code) || IsVolCode(code);
}

void CV77Mpeg4EsSplitter::Push(const uint8_t* data, size_t size, std::vector<Mpeg4EsFrame>* out)
{
    if (!data)
        return;
    if (!m_bSynced) {
        // Look for a start code, also across the end of the previous chunk.
        std::vector<uint8_t> joined(m_Tail, m_Tail + m_cbTail);
        joined.insert(joined.end(), data, data + size);
        const size_t at = FindStartCode(joined.data(), joined.size(), 0);
        if (at == joined.size()) {
            const size_t keep = std::min<size_t>(2, joined.size());
            m_Stats.garbageBytes += joined.size() - keep;
            m_cbTail = keep;
            std::copy(joined.end() - static_cast<std::ptrdiff_t>(keep), joined.end(), m_Tail);
            return;
        }
        m_Stats.garbageBytes += at;
        m_cbTail = 0;
        m_bSynced = true;
        m_bSawVop = false;
        m_uScan = 0;
        m_Buffer.assign(joined.begin() + static_cast<std::ptrdiff_t>(at), joined.end());
    } else {
        m_Buffer.insert(m_Buffer.end(), data, data + size);
    }
    for (;;) {
        const size_t at = FindStartCode(m_Buffer.data(), m_Buffer.size(), m_uScan);
        if (at + 4 > m_Buffer.size()) {
            // Resume where an unfinished start code may begin.
            m_uScan = at < m_Buffer.size() ? at : (m_Buffer.size() > 2 ? m_Buffer.size() - 2 : 0);
            break;
        }
        const uint8_t code = m_Buffer[at + 3];
        if (at > 0 && m_bSawVop && StartsFrame(code)) {
            Emit(at, out);
            m_uScan = 3;
        } else {
            m_uScan = at + 3;
        }
        if (code == kVop)
            m_bSawVop = true;
    }
    if (m_Buffer.size() > m_cbMaxFrame) {
        ++m_Stats.oversizedFrames;
        Drop();
    }
}

size_t CV77Mpeg4EsSplitter::Finish()
{
    const size_t dropped = m_Buffer.size();
    m_Buffer.clear();
    m_uScan = 0;
    m_bSynced = false;
    m_bSawVop = false;
    m_cbTail = 0;
    return dropped;
}

void CV77Mpeg4EsSplitter::Drop()
{
    m_Buffer.clear();
    m_uScan = 0;
    m_bSynced = false;
    m_bSawVop = false;
    m_cbTail = 0;
    m_bNeedKey = true;
    m_bDiscontinuity = true;
}

void CV77Mpeg4EsSplitter::Emit(size_t length, std::vector<Mpeg4EsFrame>* out)
{
    Mpeg4EsFrame frame;
    frame.data.assign(m_Buffer.begin(), m_Buffer.begin() + static_cast<std::ptrdiff_t>(length));
    m_Buffer.erase(m_Buffer.begin(), m_Buffer.begin() + static_cast<std::ptrdiff_t>(length));
    m_bSawVop = false;
    if (length > m_cbMaxFrame) {
        ++m_Stats.oversizedFrames;
        m_bNeedKey = true;
        m_bDiscontinuity = true;
        return;
    }

    VolInfo vol;
    if (FindVol(frame.data.data(), frame.data.size(), &vol)) {
        m_Vol = vol;
        m_bHaveVol = true;
    }
    VopInfo vop;
    if (!FindVop(frame.data.data(), frame.data.size(), m_bHaveVol ? &m_Vol : nullptr, &vop))
        return;
    frame.keyFrame = vop.codingType == kVopI;
    if (m_bHaveVol) {
        m_uSeconds += vop.moduloSeconds;
        frame.time = static_cast<double>(m_uSeconds) +
                     static_cast<double>(vop.timeIncrement) / static_cast<double>(m_Vol.timeIncrementResolution);
    }
    if (m_bNeedKey && !frame.keyFrame) {
        ++m_Stats.withheldFrames;
        return;
    }
    m_bNeedKey = false;
    frame.discontinuity = m_bDiscontinuity;
    m_bDiscontinuity = false;
    ++m_Stats.frames;
    out->push_back(std::move(frame));
}
