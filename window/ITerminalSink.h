#pragma once
// The terminal as the window's rules fill it; each front end's terminal control is one. Received
// bytes go as they came (code page 1252, one character a byte); texts are UTF-8.

#include <string_view>

class ITerminalSink
{
public:
    virtual ~ITerminalSink() = default;
    virtual void AppendReceived(std::string_view bytes) = 0;
    virtual void AppendTextLine(std::string_view text) = 0;  // a line of the program's own
    virtual void DeleteLine(int index) = 0;                  // nothing for an index out of range
    virtual void ReplaceWithText(std::string_view text) = 0; // the received bytes are kept
    virtual void ClearText() = 0;                            // and the received bytes
};
