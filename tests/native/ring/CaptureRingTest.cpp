// The capture ring's protocol on plain memory: the oldest unread frame makes
// room and a leased one never does, a takeover keeps a live viewer's leases
// and a gone viewer's are taken back, a block that is not a whole ring
// is refused, and a producer and a viewer racing over many frames never see
// a torn or out-of-order frame.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "companions/components/ring/CV77CaptureRing.h"

namespace {

constexpr uint32_t kSlotBytes = 256;

struct RingMemory {
    explicit RingMemory(uint32_t slots)
        : bytes(CV77CaptureRing::RequiredBytes(slots, kSlotBytes) + 64), ring(Aligned(), bytes - 64)
    {
        V77CaptureFormat format;
        format.width = 16;
        format.height = 8;
        format.frameTime = 400000;
        EXPECT_TRUE(ring.Format(format, slots, kSlotBytes));
    }
    void* Aligned()
    {
        storage.resize(bytes);
        auto address = reinterpret_cast<uintptr_t>(storage.data());
        return reinterpret_cast<void*>((address + 63) & ~uintptr_t{63});
    }
    // Fills a slot with its sequence number and publishes it; false when no slot.
    bool Produce(uint64_t sequence)
    {
        const int slot = ring.BeginWrite();
        if (slot < 0)
            return false;
        uint8_t* data = ring.SlotData(static_cast<uint32_t>(slot));
        for (uint32_t i = 0; i < kSlotBytes; i += sizeof sequence)
            std::memcpy(data + i, &sequence, sizeof sequence);
        ring.Publish(static_cast<uint32_t>(slot), sequence, 0, kSlotBytes, kV77CaptureSyncPoint);
        return true;
    }

    size_t bytes;
    std::vector<uint8_t> storage;
    CV77CaptureRing ring;
};

TEST(CaptureRing, TheOldestUnreadFrameMakesRoomButALeasedOneNever)
{
    RingMemory memory(4);
    CV77CaptureRing& ring = memory.ring;
    ring.TakeOver(10);
    for (uint64_t i = 0; i < 6; ++i)
        ASSERT_TRUE(memory.Produce(i));
    EXPECT_EQ(2u, ring.Header().framesDropped.load()) << "frames 0 and 1 overwritten unread";
    V77CaptureLease held;
    ASSERT_TRUE(ring.TakeOldest(20, &held));
    EXPECT_EQ(2u, held.sequence);
    // Three more slots lease, then nothing is ready; the producer then has no slot at all.
    V77CaptureLease others[3];
    for (V77CaptureLease& lease : others)
        ASSERT_TRUE(ring.TakeOldest(20, &lease));
    EXPECT_EQ(5u, others[2].sequence);
    EXPECT_FALSE(ring.TakeOldest(20, &others[0]));
    EXPECT_FALSE(memory.Produce(6)) << "every slot is leased: the frame is dropped";
    EXPECT_EQ(4u, ring.CountLeased());
    ASSERT_TRUE(ring.Return(others[0]));
    EXPECT_FALSE(ring.Return(others[0])) << "a lease comes back once";
    ASSERT_TRUE(memory.Produce(7));
    ASSERT_TRUE(memory.Produce(8)) << "frame 7 unread makes room for 8";
    uint64_t value = 0;
    std::memcpy(&value, ring.LeasedData(held), sizeof value);
    EXPECT_EQ(2u, value) << "the leased frame was overwritten";

    // Archive frames are never overwritten: with no free slot there is none to write.
    while (ring.TakeOldest(20, &others[0]))
        ;
    EXPECT_EQ(-1, ring.BeginWriteFree()) << "every slot leased";
    ASSERT_TRUE(ring.Return(others[0]));
    const int slot = ring.BeginWriteFree();
    ASSERT_EQ(static_cast<int>(others[0].slot), slot);
    ring.SetDuration(static_cast<uint32_t>(slot), 400000);
    ring.Publish(static_cast<uint32_t>(slot), 9, 0, 8, 0);
    EXPECT_EQ(-1, ring.BeginWriteFree()) << "the one unread frame is kept";
    ASSERT_TRUE(ring.TakeOldest(20, &others[0]));
    EXPECT_EQ(400000, ring.LeasedDuration(others[0]));
}

// A viewer may have handed a leased slot's memory downstream: a new producer
// leaves a live viewer's lease alone (the slot comes back into the new
// epoch), frees a dead one's, and a gone viewer's leases of any epoch are
// taken back.
TEST(CaptureRing, ATakeOverKeepsLiveLeasesAndTheLeasesOfAGoneViewerAreTakenBack)
{
    RingMemory memory(3);
    CV77CaptureRing& ring = memory.ring;
    const uint32_t first = ring.TakeOver(10);
    ASSERT_TRUE(memory.Produce(7));
    ASSERT_TRUE(memory.Produce(8));
    V77CaptureLease kept, voided;
    ASSERT_TRUE(ring.TakeOldest(20, &kept));
    ASSERT_TRUE(ring.TakeOldest(30, &voided));
    EXPECT_NE(first, ring.TakeOver(11, [](uint32_t pid) { return pid != 30; })) << "a new producer starts a new epoch";
    EXPECT_EQ(1u, ring.CountLeased());
    EXPECT_FALSE(ring.Return(voided)) << "a voided lease frees nothing";
    for (uint64_t i = 0; i < 5; ++i)
        ASSERT_TRUE(memory.Produce(i)) << "the two free slots take turns";
    uint64_t value = 0;
    std::memcpy(&value, ring.LeasedData(kept), sizeof value);
    EXPECT_EQ(7u, value) << "the new producer wrote into a leased slot";
    EXPECT_TRUE(ring.Return(kept));
    ASSERT_TRUE(memory.Produce(5));
    std::memcpy(&value, ring.LeasedData(kept), sizeof value);
    EXPECT_EQ(5u, value) << "the returned slot is free in the new epoch";
    EXPECT_EQ(-1, ring.BeginWrite(false)) << "every slot holds an unread frame";
    V77CaptureLease next;
    ASSERT_TRUE(ring.TakeOldest(20, &next));
    EXPECT_EQ(3u, next.sequence);

    V77CaptureLease dead;
    ASSERT_TRUE(ring.TakeOldest(40, &dead));
    ring.TakeOver(12);  // no liveness known: every lease stays
    EXPECT_EQ(2u, ring.CountLeased());
    EXPECT_EQ(1u, ring.ReclaimLeases([](uint32_t pid) { return pid != 40; }));
    EXPECT_EQ(1u, ring.CountLeased());
    EXPECT_FALSE(ring.Return(dead));
    EXPECT_TRUE(ring.Return(next));
    EXPECT_EQ(0u, ring.CountLeased());
}

TEST(CaptureRing, ABlockThatIsNotAWholeRingIsRefused)
{
    RingMemory memory(4);
    EXPECT_TRUE(memory.ring.IsValid());
    EXPECT_FALSE(CV77CaptureRing(memory.Aligned(), memory.bytes - 200).IsValid()) << "truncated";
    memory.ring.Header().slotCount = 100000;
    EXPECT_FALSE(memory.ring.IsValid()) << "slot table beyond the block";
    memory.ring.Header().slotCount = 4;
    memory.ring.Header().magic = 0;
    EXPECT_FALSE(memory.ring.IsValid());
    EXPECT_FALSE(CV77CaptureRing(memory.Aligned(), 100).Format(V77CaptureFormat{}, 4, kSlotBytes)) << "too small";
}

TEST(CaptureRing, AProducerAndAViewerRacingSeeNoTornOrReorderedFrame)
{
    constexpr uint64_t kFrames = 200000;
    RingMemory memory(6);
    CV77CaptureRing& ring = memory.ring;
    ring.TakeOver(10);
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (uint64_t i = 0; i < kFrames; ++i)
            memory.Produce(i);
        done = true;
    });
    uint64_t received = 0, torn = 0, reordered = 0;
    int64_t last = -1;
    V77CaptureLease lease;
    for (;;) {
        const bool finished = done.load();
        if (!ring.TakeOldest(20, &lease)) {
            if (finished)
                break;
            continue;
        }
        ++received;
        const uint8_t* data = ring.LeasedData(lease);
        for (uint32_t i = 0; i < kSlotBytes; i += 8) {
            uint64_t value = 0;
            std::memcpy(&value, data + i, sizeof value);
            torn += value != lease.sequence;
        }
        reordered += static_cast<int64_t>(lease.sequence) <= last;
        last = static_cast<int64_t>(lease.sequence);
        EXPECT_TRUE(ring.Return(lease));
    }
    producer.join();
    EXPECT_EQ(0u, torn);
    EXPECT_EQ(0u, reordered);
    EXPECT_GT(received, 0u);
    EXPECT_LE(received, ring.Header().framesProduced.load());
    EXPECT_EQ(0u, ring.CountLeased());
}

}  // namespace
