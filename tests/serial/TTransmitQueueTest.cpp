// The transmit queue on its own, against a device that takes only what it has room for.
#include "serial/TTransmitQueue.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class TNarrowDevice final : public ISerialDevice
{
public:
    size_t Room = 0; // bytes the device takes before it would block
    bool Gone = false;
    std::string Sent;

    TIoResult Write(std::span<const std::byte> data) override
    {
        if (Gone) return DeviceFailed(EIO);
        if (Room == 0) return DeviceWouldBlock();
        const size_t n = std::min(Room, data.size());
        Sent.append(reinterpret_cast<const char*>(data.data()), n);
        Room -= n;
        return n;
    }

    TDeviceResult<TDeviceControlBlock> GetState() override { return TDeviceControlBlock{}; }
    TDeviceResult<> SetState(const TDeviceControlBlock&) override { return {}; }
    TDeviceResult<> SetQueueSizes(uint32_t, uint32_t) override { return {}; }
    TDeviceResult<> SetEventMask(uint32_t) override { return {}; }
    TIoResult Read(std::span<std::byte>) override { return DeviceWouldBlock(); }
    TDeviceResult<uint32_t> BytesWaiting() override { return 0u; }
    TDeviceResult<uint32_t> OutputQueued() override { return 0u; }
    TDeviceResult<bool> TransmitterEmpty() override { return DeviceUnsupported(); }
    TDeviceResult<> Purge(uint32_t) override { return {}; }
    TDeviceResult<> EnterLowLatency() override { return DeviceUnsupported(); }
    void LeaveLowLatency() override {}
    TDeviceResult<uint32_t> ModemStatus() override { return DeviceUnsupported(); }
    TDeviceResult<TLineErrorCounters> ErrorCounters() override { return DeviceUnsupported(); }
    TDeviceResult<> WaitModemChange(uint32_t, uint32_t) override { return DeviceUnsupported(); }
    void InterruptModemWait() override {}
    TPortWait Wait(const TWakeUpEvent&, bool, int) override { return {}; }
};

std::span<const std::byte> Bytes(const std::string& s)
{
    return std::as_bytes(std::span(s.data(), s.size()));
}

TEST(TTransmitQueueTest, WhatTheDeviceDoesNotTakeIsQueuedAndFollowsInOrder)
{
    TNarrowDevice device;
    TTransmitQueue queue;
    device.Room = 3;
    auto result = queue.Write(device, Bytes("abcdef"));
    EXPECT_EQ(result.Immediate, 3u);
    EXPECT_TRUE(result.WakeWorker);
    EXPECT_EQ(queue.QueuedBytes(), 3u);

    // Something is queued: a later write must not overtake it, even with room.
    device.Room = 100;
    result = queue.Write(device, Bytes("gh"));
    EXPECT_EQ(result.Immediate, 0u);
    EXPECT_EQ(device.Sent, "abc");

    device.Room = 4;
    EXPECT_EQ(queue.Drain(device), TTransmitQueue::TDrainResult::MoreQueued);
    EXPECT_EQ(device.Sent, "abcdefg");
    device.Room = 100;
    EXPECT_EQ(queue.Drain(device), TTransmitQueue::TDrainResult::Empty);
    EXPECT_EQ(device.Sent, "abcdefgh");
    EXPECT_FALSE(queue.HasQueued());
}

TEST(TTransmitQueueTest, EmptyReportWaitsForTheQueueAndIsNotLostToALaterWrite)
{
    TNarrowDevice device;
    TTransmitQueue queue;
    EXPECT_FALSE(queue.AwaitingEmpty());
    device.Room = 1;
    queue.Write(device, Bytes("ab"));
    EXPECT_FALSE(queue.AwaitingEmpty()); // still queued
    device.Room = 10;
    queue.Drain(device);
    const auto generation = queue.AwaitingEmpty();
    ASSERT_TRUE(generation);

    // A write between the check and the report: the report must wait for it.
    queue.Write(device, Bytes("c"));
    EXPECT_FALSE(queue.ClearAwaitingEmpty(*generation));
    const auto next = queue.AwaitingEmpty();
    ASSERT_TRUE(next);
    EXPECT_TRUE(queue.ClearAwaitingEmpty(*next));
    EXPECT_FALSE(queue.AwaitingEmpty());
}

TEST(TTransmitQueueTest, LostDeviceDropsTheQueueAndLaterWrites)
{
    TNarrowDevice device;
    TTransmitQueue queue;
    queue.Write(device, Bytes("abc"));
    device.Gone = true;
    EXPECT_EQ(queue.Drain(device), TTransmitQueue::TDrainResult::Lost);
    queue.Discard();
    EXPECT_EQ(queue.QueuedBytes(), 0u);
    EXPECT_EQ(queue.Write(device, Bytes("more")).Immediate, 0u);
    EXPECT_FALSE(queue.HasQueued());
}

TEST(TTransmitQueueTest, EmptyWriteDoesNothing)
{
    TNarrowDevice device;
    TTransmitQueue queue;
    const auto result = queue.Write(device, {});
    EXPECT_EQ(result.Immediate, 0u);
    EXPECT_FALSE(result.WakeWorker);
    EXPECT_FALSE(queue.AwaitingEmpty());
}

} // namespace
