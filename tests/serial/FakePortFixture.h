#pragma once

#include "serial/TQorComPort.h"
#include "tests/serial/FakeSerialBackend.h"
#include "tests/serial/TestMainThread.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A component on a fake port registered as COM2's default device.
class FakePortFixture : public ::testing::Test
{
protected:
    FakePortFixture() { fPort.SetPort(2); }

    // Records every data-available call: RxCount on entry and what the handler read.
    struct TOffer
    {
        int RxCount;
        std::string Data;
    };

    // Handler that reads `perCall` bytes of each offer (all with -1).
    void RecordOffers(int perCall = -1)
    {
        fPort.SetOnDataAvailable([this, perCall](TQorComPort& sender) {
            TOffer offer{sender.RxCount(), {}};
            if (perCall < 0) {
                offer.Data = sender.ReadString();
            } else {
                std::string buffer(static_cast<size_t>(perCall), '\0');
                const int n =
                    sender.Read(std::as_writable_bytes(std::span(buffer.data(), buffer.size())));
                offer.Data = buffer.substr(0, static_cast<size_t>(n));
            }
            fOffers.push_back(offer);
        });
    }

    // A handler that unbinds itself at the first offer without reading: the offer stays.
    void UnbindAtFirstOffer()
    {
        fPort.SetOnDataAvailable([this](TQorComPort& sender) {
            fWaitCountAtOffer = fDevice.WaitCount();
            sender.SetOnDataAvailable(nullptr);
        });
    }

    // Waits until that handler has run and the thread has gone back to waiting, so it no
    // longer looks at the handler it found missing.
    bool WaitForAbandonedOffer()
    {
        return fMainThread.PumpUntil([&] { return fWaitCountAtOffer != 0; }) &&
               fDevice.WaitForWaitCountAbove(fWaitCountAtOffer);
    }

    std::string AllReceived() const
    {
        std::string all;
        for (const auto& offer : fOffers)
            all += offer.Data;
        return all;
    }

    bool PumpUntilReceived(const std::string& text)
    {
        return fMainThread.PumpUntil([&] { return AllReceived().size() >= text.size(); }) &&
               AllReceived() == text;
    }

    TTestMainThread fMainThread;
    TFakeSerialBackend fBackend;
    TFakePort& fDevice = fBackend.AddPort(SystemPortPath(2));
    TQorComPort fPort{fMainThread, fBackend};
    std::vector<TOffer> fOffers;
    uint64_t fWaitCountAtOffer = 0;
};
