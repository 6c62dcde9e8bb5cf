#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

// The far end of a pseudo-terminal that stands in for the device: it records every
// byte the program sends and answers only when the test tells it to. It is served by
// the main thread's event loop, so it runs exactly when the program processes events.
class FlashPtyPeer : public QObject
{
public:
    FlashPtyPeer();
    ~FlashPtyPeer() override;

    // Path of the terminal side that the program opens as its serial port.
    const std::string& DevicePath() const { return fSlavePath; }

    const std::string& Received() const { return fBytes; }
    // Lines received so far, each ended by CR.
    std::size_t LinesReceived() const { return fCrCount; }

    void Send(std::string_view bytes);

    // Called on the main thread after each batch of received bytes.
    void SetOnReceive(std::function<void()> handler) { fOnReceive = std::move(handler); }

private:
    void ReadAvailable();

    int fMaster = -1;
    int fSlave = -1;
    std::string fSlavePath;
    std::unique_ptr<QSocketNotifier> fNotifier;
    std::string fBytes;
    std::size_t fCrCount = 0;
    std::function<void()> fOnReceive;
};
