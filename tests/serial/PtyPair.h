#pragma once

#include "system/TFileDescriptor.h"

#include <chrono>
#include <string>
#include <string_view>

// A pseudo-terminal for tests: the component opens SlavePath(), the test plays the device
// on the master side. The helper keeps a slave descriptor of its own so the master stays
// usable while the component closes and reopens.
class TPtyPair
{
public:
    TPtyPair();
    const std::string& SlavePath() const { return fSlavePath; }
    int Master() const { return fMaster.Get(); }

    void Send(std::string_view bytes); // as the device: blocks until written
    // Reads until `count` bytes have arrived or the time-out ends (a hang guard).
    std::string Receive(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(20));
    void CloseMaster(); // the device goes away
    void CloseSlave();

private:
    TFileDescriptor fMaster;
    TFileDescriptor fSlave;
    std::string fSlavePath;
};

// Number of descriptors this process has open.
int OpenDescriptorCount();
