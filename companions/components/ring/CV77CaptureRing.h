// The ring of frame slots that the local capture process shares with its
// viewer, laid over one block of shared memory. Everything either side needs
// is in the block: the stream description, the slot table and the frames.
//
// Block layout (little-endian; offsets in bytes):
//   0                 V77CaptureRingHeader (256 bytes)
//   256               slotCount × V77CaptureSlot (64 bytes each)
//   dataOffset        slotCount × slotStride bytes of frame data
//
// Each slot's state word packs state (bits 0-7), the producer epoch (bits
// 8-31) and, in bits 32-63, the leasing process id of a leased slot or the
// low half of the frame number of a ready one (so that a slot refilled
// between a look and a swap never matches), and every transition is one
// compare-and-swap:
//   Free -> Writing        producer takes a slot to fill
//   Ready -> Writing       producer overwrites the oldest unread frame (dropped)
//   Writing -> Ready       producer publishes a frame
//   Ready -> Leased(pid)   the viewer leases the oldest published frame
//   Leased(pid) -> Free    the lease comes back (viewer), or the producer
//                          reclaims the leases of a process that is gone
// A producer that takes the ring over (first start, or a restart after a
// crash) starts a new epoch and frees every slot but those leased by a live
// viewer: a viewer may hand the slot's memory downstream uncopied, so the
// slot stays out of the producer's reach until its lease comes back (into
// the new epoch) or its lessee is gone.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

constexpr uint32_t kV77CaptureRingMagic = 0x52373756;  // "V77R"
constexpr uint32_t kV77CaptureRingVersion = 1;

// Frame flags of a slot.
constexpr uint32_t kV77CaptureSyncPoint = 1;
constexpr uint32_t kV77CaptureDiscontinuity = 2;
// Archive mode (V77CaptureArchive.h): a slot that opens a stretch, and one
// that ends it early because the capture process could not read a frame.
constexpr uint32_t kV77CaptureStretchHeader = 4;
constexpr uint32_t kV77CaptureStretchFailed = 8;

enum class V77CaptureSlotState : uint32_t { Free = 0, Writing = 1, Ready = 2, Leased = 3 };

// The stream the producer writes; fixed for the life of a ring.
struct V77CaptureFormat {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t compression = 0;    // FOURCC, or 0 for RGB
    uint32_t bitCount = 0;
    int64_t frameTime = 0;       // 100 ns per frame
};

struct V77CaptureRingHeader {
    uint32_t magic;              // written last when the ring is formatted
    uint32_t version;
    uint32_t slotCount;
    uint32_t slotBytes;          // capacity of one slot's frame data
    uint64_t dataOffset;
    uint64_t slotStride;
    V77CaptureFormat format;
    std::atomic<uint32_t> producerPid;     // the process that fills the ring now
    std::atomic<uint32_t> epoch;           // 24 bits used; rises with each takeover
    std::atomic<uint32_t> consumerPid;     // the viewer that attached last
    uint32_t reserved0;
    std::atomic<uint64_t> framesProduced;
    std::atomic<uint64_t> framesDropped;   // overwritten unread, or no slot to write
    std::atomic<uint64_t> heartbeat;       // producer's clock in ms, rises while it runs
    uint8_t reserved[160];
};
static_assert(sizeof(V77CaptureRingHeader) == 256, "the header's size is part of the layout");

struct V77CaptureSlot {
    std::atomic<uint64_t> word;            // state | epoch << 8 | pid << 32
    std::atomic<uint64_t> sequence;        // the producer's frame number
    int64_t captureTime;                   // 100 ns since 1601
    uint32_t length;                       // valid bytes of frame data
    uint32_t flags;                        // kV77CaptureSyncPoint ...
    int64_t duration;                      // 100 ns; archive frames only, else 0
    uint8_t reserved[64 - 40];
};
static_assert(sizeof(V77CaptureSlot) == 64, "the slot's size is part of the layout");
static_assert(std::atomic<uint64_t>::is_always_lock_free, "the ring's words are shared between processes");

// What a lease names: the slot and the word it was leased under.
struct V77CaptureLease {
    uint32_t slot = 0;
    uint64_t word = 0;
    uint64_t sequence = 0;
    int64_t captureTime = 0;
    uint32_t length = 0;
    uint32_t flags = 0;
};

class CV77CaptureRing {
public:
    // Bytes of a ring of slotCount slots of slotBytes each.
    static size_t RequiredBytes(uint32_t slotCount, uint32_t slotBytes);

    // base: the shared block (64-byte aligned), size its mapped length.
    CV77CaptureRing(void* base, size_t size);

    // Producer: lays out an empty ring; the block must be RequiredBytes long.
    bool Format(const V77CaptureFormat& format, uint32_t slotCount, uint32_t slotBytes);
    // Whether the block holds a complete ring that fits in the mapped size.
    bool IsValid() const;
    const V77CaptureRingHeader& Header() const { return *m_pHeader; }
    V77CaptureRingHeader& Header() { return *m_pHeader; }

    // Producer: takes the ring over for process pid, frees every slot but
    // those leased by a process that alive() says lives (without alive, every
    // lease is kept: ReclaimLeases frees a dead one's later), and starts a
    // new epoch, which it returns.
    uint32_t TakeOver(uint32_t pid, const std::function<bool(uint32_t pid)>& alive = {});
    // Producer: a slot to fill (free, else with overwrite the oldest unread
    // frame, which is counted as dropped), or -1 when every slot is leased or
    // being written (or, without overwrite, none is free).
    int BeginWrite(bool overwrite = true);
    uint8_t* SlotData(uint32_t slot);
    // Producer: a free slot to fill, or -1; never overwrites an unread frame
    // (archive stretches must arrive whole).
    int BeginWriteFree() { return BeginWrite(false); }
    // Producer: publishes the slot from BeginWrite.
    void Publish(uint32_t slot, uint64_t sequence, int64_t captureTime, uint32_t length, uint32_t flags);
    // Producer: the duration of the frame in slot, set before Publish.
    void SetDuration(uint32_t slot, int64_t duration) { Slot(slot).duration = duration; }
    // Producer: frees the leases (of any epoch) held by processes that
    // alive() says are gone; returns how many.
    unsigned ReclaimLeases(const std::function<bool(uint32_t pid)>& alive);

    // Viewer: leases the oldest published frame for process pid.
    bool TakeOldest(uint32_t pid, V77CaptureLease* lease);
    const uint8_t* LeasedData(const V77CaptureLease& lease) const;
    int64_t LeasedDuration(const V77CaptureLease& lease) const { return Slot(lease.slot).duration; }
    // Viewer: gives the slot back (into the current epoch); false when the
    // lease was stale (reclaimed, or voided by a takeover, meanwhile).
    bool Return(const V77CaptureLease& lease);

    // Slots leased now (by anybody, in any epoch).
    unsigned CountLeased() const;

    static uint64_t Word(V77CaptureSlotState state, uint32_t epoch, uint32_t pid);
    static V77CaptureSlotState StateOf(uint64_t word) { return static_cast<V77CaptureSlotState>(word & 0xFF); }
    static uint32_t EpochOf(uint64_t word) { return static_cast<uint32_t>(word >> 8) & 0xFFFFFF; }
    static uint32_t PidOf(uint64_t word) { return static_cast<uint32_t>(word >> 32); }

private:
    V77CaptureSlot& Slot(uint32_t i) const { return m_pSlots[i]; }
    // The ready slot of epoch with the lowest frame number, its word and
    // number (sequence may be null), or -1.
    int FindOldestReady(uint32_t epoch, uint64_t* word, uint64_t* sequence) const;
    uint32_t Epoch() const { return m_pHeader->epoch.load() & 0xFFFFFF; }

    uint8_t* m_pBase;
    size_t m_cbSize;
    V77CaptureRingHeader* m_pHeader;
    V77CaptureSlot* m_pSlots;
};
