#include "companions/components/ring/CV77CaptureRing.h"

#include <cstring>
#include <limits>

namespace {

constexpr size_t kAlign = 64;
constexpr uint32_t kEpochMask = 0xFFFFFF;

size_t AlignUp(size_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

size_t DataOffset(uint32_t slotCount)
{
    return AlignUp(sizeof(V77CaptureRingHeader) + size_t{slotCount} * sizeof(V77CaptureSlot));
}

}  // namespace

size_t CV77CaptureRing::RequiredBytes(uint32_t slotCount, uint32_t slotBytes)
{
    return DataOffset(slotCount) + size_t{slotCount} * AlignUp(slotBytes);
}

CV77CaptureRing::CV77CaptureRing(void* base, size_t size)
    : m_pBase(static_cast<uint8_t*>(base)),
      m_cbSize(size),
      m_pHeader(static_cast<V77CaptureRingHeader*>(base)),
      m_pSlots(reinterpret_cast<V77CaptureSlot*>(static_cast<uint8_t*>(base) + sizeof(V77CaptureRingHeader)))
{
}

uint64_t CV77CaptureRing::Word(V77CaptureSlotState state, uint32_t epoch, uint32_t pid)
{
    return static_cast<uint64_t>(state) | (uint64_t{epoch & kEpochMask} << 8) | (uint64_t{pid} << 32);
}

bool CV77CaptureRing::Format(const V77CaptureFormat& format, uint32_t slotCount, uint32_t slotBytes)
{
    if (slotCount == 0 || slotBytes == 0 || !m_pBase || RequiredBytes(slotCount, slotBytes) > m_cbSize)
        return false;
    std::memset(m_pBase, 0, DataOffset(slotCount));
    V77CaptureRingHeader& h = *m_pHeader;
    h.version = kV77CaptureRingVersion;
    h.slotCount = slotCount;
    h.slotBytes = slotBytes;
    h.dataOffset = DataOffset(slotCount);
    h.slotStride = AlignUp(slotBytes);
    h.format = format;
    // A viewer that finds the magic finds everything before it.
    std::atomic_thread_fence(std::memory_order_release);
    reinterpret_cast<std::atomic<uint32_t>*>(&h.magic)->store(kV77CaptureRingMagic);
    return true;
}

bool CV77CaptureRing::IsValid() const
{
    if (!m_pBase || m_cbSize < sizeof(V77CaptureRingHeader))
        return false;
    const V77CaptureRingHeader& h = *m_pHeader;
    if (reinterpret_cast<const std::atomic<uint32_t>*>(&h.magic)->load() != kV77CaptureRingMagic ||
        h.version != kV77CaptureRingVersion || h.slotCount == 0 || h.slotCount > 4096 || h.slotBytes == 0)
        return false;
    return h.dataOffset == DataOffset(h.slotCount) && h.slotStride == AlignUp(h.slotBytes) &&
           RequiredBytes(h.slotCount, h.slotBytes) <= m_cbSize;
}

uint32_t CV77CaptureRing::TakeOver(uint32_t pid, const std::function<bool(uint32_t pid)>& alive)
{
    const uint32_t epoch = (m_pHeader->epoch.load() + 1) & kEpochMask;
    // The new epoch first: from here on no viewer leases a frame of the old one.
    m_pHeader->epoch.store(epoch);
    for (uint32_t i = 0; i < m_pHeader->slotCount; ++i) {
        uint64_t word = Slot(i).word.load();
        for (;;) {
            if (StateOf(word) == V77CaptureSlotState::Leased && (!alive || alive(PidOf(word))))
                break;  // its memory may be downstream: it comes back through Return
            if (Slot(i).word.compare_exchange_strong(word, Word(V77CaptureSlotState::Free, epoch, 0)))
                break;
        }
        Slot(i).sequence.store(0);
    }
    m_pHeader->producerPid.store(pid);
    return epoch;
}

int CV77CaptureRing::BeginWrite(bool overwrite)
{
    const uint32_t epoch = Epoch();
    const uint64_t free = Word(V77CaptureSlotState::Free, epoch, 0);
    const uint64_t writing = Word(V77CaptureSlotState::Writing, epoch, 0);
    for (uint32_t i = 0; i < m_pHeader->slotCount; ++i) {
        uint64_t expected = free;
        if (Slot(i).word.compare_exchange_strong(expected, writing)) {
            Slot(i).duration = 0;
            return static_cast<int>(i);
        }
    }
    // No free slot: the viewer is behind; the oldest unread frame makes room.
    if (!overwrite)
        return -1;
    for (;;) {
        uint64_t word = 0;
        const int oldest = FindOldestReady(epoch, &word, nullptr);
        if (oldest < 0) {
            m_pHeader->framesDropped.fetch_add(1);
            return -1;
        }
        if (Slot(oldest).word.compare_exchange_strong(word, writing)) {
            m_pHeader->framesDropped.fetch_add(1);
            Slot(oldest).duration = 0;
            return oldest;
        }
        // The viewer leased it meanwhile: look again.
    }
}

int CV77CaptureRing::FindOldestReady(uint32_t epoch, uint64_t* word, uint64_t* sequenceOut) const
{
    int oldest = -1;
    uint64_t oldestSequence = std::numeric_limits<uint64_t>::max();
    for (uint32_t i = 0; i < m_pHeader->slotCount; ++i) {
        const uint64_t seen = Slot(i).word.load();
        if (StateOf(seen) != V77CaptureSlotState::Ready || EpochOf(seen) != epoch)
            continue;
        const uint64_t sequence = Slot(i).sequence.load();
        // A ready word carries the low half of its frame number, so a word
        // read before the slot was refilled never matches the refilled slot.
        if (static_cast<uint32_t>(sequence) != PidOf(seen) || sequence >= oldestSequence)
            continue;
        oldest = static_cast<int>(i);
        oldestSequence = sequence;
        *word = seen;
        if (sequenceOut)
            *sequenceOut = sequence;
    }
    return oldest;
}

uint8_t* CV77CaptureRing::SlotData(uint32_t slot)
{
    return m_pBase + m_pHeader->dataOffset + slot * m_pHeader->slotStride;
}

void CV77CaptureRing::Publish(uint32_t slot, uint64_t sequence, int64_t captureTime, uint32_t length, uint32_t flags)
{
    V77CaptureSlot& s = Slot(slot);
    s.captureTime = captureTime;
    s.length = length < m_pHeader->slotBytes ? length : m_pHeader->slotBytes;
    s.flags = flags;
    s.sequence.store(sequence);
    // Releases everything above.
    s.word.store(Word(V77CaptureSlotState::Ready, Epoch(), static_cast<uint32_t>(sequence)));
    m_pHeader->framesProduced.fetch_add(1);
}

unsigned CV77CaptureRing::ReclaimLeases(const std::function<bool(uint32_t pid)>& alive)
{
    unsigned reclaimed = 0;
    const uint32_t epoch = Epoch();
    for (uint32_t i = 0; i < m_pHeader->slotCount; ++i) {
        uint64_t word = Slot(i).word.load();
        if (StateOf(word) != V77CaptureSlotState::Leased || alive(PidOf(word)))
            continue;
        if (Slot(i).word.compare_exchange_strong(word, Word(V77CaptureSlotState::Free, epoch, 0)))
            ++reclaimed;
    }
    return reclaimed;
}

bool CV77CaptureRing::TakeOldest(uint32_t pid, V77CaptureLease* lease)
{
    const uint32_t epoch = Epoch();
    const uint64_t leased = Word(V77CaptureSlotState::Leased, epoch, pid);
    for (;;) {
        uint64_t word = 0, sequence = 0;
        const int oldest = FindOldestReady(epoch, &word, &sequence);
        if (oldest < 0)
            return false;
        const uint64_t ready = word;
        if (!Slot(oldest).word.compare_exchange_strong(word, leased))
            continue;  // overwritten or taken meanwhile
        // The look is not one instant: an earlier frame being published while
        // it passed its slot may be ready now. Put this one back and take that.
        uint64_t earlierWord = 0, earlier = 0;
        if (FindOldestReady(epoch, &earlierWord, &earlier) >= 0 && earlier < sequence) {
            uint64_t mine = leased;
            Slot(oldest).word.compare_exchange_strong(mine, ready);
            continue;
        }
        const V77CaptureSlot& s = Slot(oldest);
        lease->slot = static_cast<uint32_t>(oldest);
        lease->word = leased;
        lease->sequence = s.sequence.load();
        lease->captureTime = s.captureTime;
        lease->length = s.length;
        lease->flags = s.flags;
        return true;
    }
}

const uint8_t* CV77CaptureRing::LeasedData(const V77CaptureLease& lease) const
{
    return m_pBase + m_pHeader->dataOffset + lease.slot * m_pHeader->slotStride;
}

bool CV77CaptureRing::Return(const V77CaptureLease& lease)
{
    if (lease.slot >= m_pHeader->slotCount)
        return false;
    uint32_t epoch = Epoch();
    uint64_t expected = lease.word;
    if (!Slot(lease.slot).word.compare_exchange_strong(expected, Word(V77CaptureSlotState::Free, epoch, 0)))
        return false;
    // A takeover between the epoch read and the swap would leave the slot
    // free in an epoch nobody writes any more: move it along.
    for (uint32_t now = Epoch(); now != epoch; now = Epoch()) {
        uint64_t stale = Word(V77CaptureSlotState::Free, epoch, 0);
        if (!Slot(lease.slot).word.compare_exchange_strong(stale, Word(V77CaptureSlotState::Free, now, 0)))
            break;  // the takeover freed it itself, or it is in use again
        epoch = now;
    }
    return true;
}

unsigned CV77CaptureRing::CountLeased() const
{
    unsigned leased = 0;
    for (uint32_t i = 0; i < m_pHeader->slotCount; ++i)
        leased += StateOf(Slot(i).word.load()) == V77CaptureSlotState::Leased;
    return leased;
}
