#pragma once
// The boot loader's side of the serial dialogue, as pure logic: bytes in, replies out.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

using TLoadedImage = std::map<uint32_t, uint8_t>; // address -> byte

struct TDeviceDialogueOptions
{
    int AnswerEvery = 1;       // a spinner update after every N-th record; 0 = none
    int ProgressEvery = 16;    // a progress line after every N-th record; 0 = none
    int ErreurAtRecord = 0;    // fault: the K-th record since start is refused; 0 = off
    int SilenceFromRecord = 0; // fault: from the K-th record on the device sends nothing; 0 = off
    int HangUpAtRecord = 0;    // fault: the K-th record makes the device hang up; 0 = off
    // Fault: the K-th record resets the device (a watchdog, a brown-out): it shows its banner and
    // menu as after power-up and takes what follows as menu input; 0 = off.
    int RestartAtRecord = 0;
    // Fault: stray bytes in the answers to records, drawn from this seed; 0 = off.
    std::uint32_t StrayBytesSeed = 0;
    // Every answer to a record is a line of this many characters (a chatty device); 0 = off.
    int LongAnswerBytes = 0;
};

enum class TDeviceState {
    Idle,     // after power-up, waiting for a line end
    Menu,     // menu shown, waiting for a digit
    Password, // collecting the password
    Loading,  // taking S-records
    Refusing, // a record was bad; lines are dropped until a blank line brings the menu back
    Running,  // the loaded firmware runs: it asks for a serial number; a blank line resets it
    HungUp,   // gone from the line for good
};

class TDeviceDialogue
{
public:
    static constexpr std::string_view Password = "qxvt";
    static constexpr std::size_t MaxLineLength = 600; // longer than any valid record

    explicit TDeviceDialogue(TDeviceDialogueOptions options = {});

    // Takes received bytes and appends the device's answers to `replies`, one entry for each
    // piece of text the device writes in one go.
    void Receive(std::string_view bytes, std::vector<std::string>& replies);

    TDeviceState State() const { return fState; }
    const TLoadedImage& Image() const { return fImage; }
    // Records taken in loading state since start (the count the fault options refer to).
    std::size_t RecordsReceived() const { return fRecordsReceived; }
    // Bytes received after the first "ERREUR": what a sender sent on past the refusal.
    std::size_t BytesAfterRefusal() const { return fBytesAfterRefusal; }
    // Loads ended by a termination record.
    std::size_t CompletedLoads() const { return fCompletedLoads; }
    // Bytes received after the restart fault struck: what a sender sent on past it.
    std::size_t BytesAfterRestart() const { return fBytesAfterRestart; }

private:
    void OnChar(char c);
    void OnLineEnd(char c);
    void OnMenuChoice(char digit);
    void OnApplicationLine();
    std::string ImageSummary() const;
    void OnRecord();
    void Acknowledge();
    void Fail(const std::string& reason);
    void ShowMenu(bool withBanner);
    void Say(std::string text);
    std::string WithStrayBytes(std::string text);

    TDeviceDialogueOptions fOptions;
    TDeviceState fState = TDeviceState::Idle;
    std::vector<std::string>* fReplies = nullptr;
    bool fSilent = false;

    bool fLastWasCr = false;
    bool fPendingBlankCr = false; // a blank line ended by CR while loading; CR LF abandons the load
    std::string fLine;
    bool fLineOverflow = false;
    std::string fPasswordTyped;

    TLoadedImage fImage;
    std::size_t fRecordsReceived = 0;
    std::size_t fCompletedLoads = 0;
    std::size_t fSessionRecords = 0;
    bool fRefused = false;
    std::size_t fBytesAfterRefusal = 0;
    bool fRestarted = false;
    std::size_t fBytesAfterRestart = 0;
    std::uint32_t fStrayState = 0;
    std::size_t fSessionDataBytes = 0;
    std::size_t fProgressCount = 0;
    std::size_t fSpinnerIndex = 0;
};
