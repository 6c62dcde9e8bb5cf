#include "flasher/FlashCommandLine.h"

#include <charconv>
#include <stdexcept>

namespace {

// The options of files that are converted to S-records; false when a is none of them.
bool ReadImageOption(TOptionReader& reader, std::string_view a, TFlashOptions& options)
{
    if (a == "--base-address") {
        const std::string_view value = reader.Value("an address");
        std::string_view text = value;
        int base = 10;
        if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
            text.remove_prefix(2);
            base = 16;
        }
        std::uint32_t address = 0;
        const auto [end, error] =
            std::from_chars(text.data(), text.data() + text.size(), address, base);
        if (error != std::errc() || end != text.data() + text.size())
            reader.Fail("is a 32-bit address, 0x... in hex or decimal, not '" + std::string(value) +
                        "'");
        options.BaseAddress = address;
        return true;
    }
    if (a == "--record-size") {
        const int size = reader.Number(static_cast<int>(MinRecordSize));
        if (static_cast<std::size_t>(size) > MaxRecordSize)
            reader.Fail("is " + std::to_string(MinRecordSize) + " to " +
                        std::to_string(MaxRecordSize) + " data bytes per record");
        options.RecordSize = static_cast<std::size_t>(size);
        return true;
    }
    return false;
}

} // namespace

TFlashOptions ParseFlashCommandLine(std::span<const std::string_view> arguments)
{
    TFlashOptions options;
    TOptionReader reader(arguments);
    while (reader.Next()) {
        const std::string_view a = reader.Name();
        if (a == "--port") {
            options.Ports.emplace_back(reader.Value());
        } else if (a == "--type") {
            const std::string_view type = reader.Value();
            if (type == "firmware")
                options.FlashType = 0;
            else if (type == "boot")
                options.FlashType = 1;
            else
                reader.Fail("is firmware or boot, not '" + std::string(type) + "'");
        } else if (a == "--timeout") {
            options.Timeout = std::chrono::seconds(reader.Number(1));
        } else if (a == "--log") {
            options.LogPath = reader.Value();
        } else if (a == "--progress") {
            const std::string_view style = reader.Value();
            if (style == "auto")
                options.Progress = TProgressStyle::Auto;
            else if (style == "bar")
                options.Progress = TProgressStyle::Bar;
            else if (style == "plain")
                options.Progress = TProgressStyle::Plain;
            else if (style == "none")
                options.Progress = TProgressStyle::None;
            else
                reader.Fail("is auto, bar, plain or none, not '" + std::string(style) + "'");
        } else if (a == "--quiet") {
            options.Quiet = true;
        } else if (a == "--json") {
            options.Json = true;
        } else if (a == "--send") {
            try {
                options.Check.push_back(
                    {TCheckStep::TKind::Send, DecodeSendText(reader.Value("a text"))});
            } catch (const std::invalid_argument& e) {
                reader.Fail(e.what());
            }
        } else if (a == "--expect") {
            std::string pattern(reader.Value("a regular expression"));
            try {
                CompileExpectation(pattern);
            } catch (const std::regex_error& e) {
                reader.Fail("is not a regular expression: " + std::string(e.what()));
            }
            options.Check.push_back({TCheckStep::TKind::Expect, std::move(pattern)});
        } else if (a == "--report") {
            options.ReportPath = reader.Value("a file");
        } else if (a == "--junit") {
            options.JUnitPath = reader.Value("a file");
        } else if (a == "--watch") {
            options.Watch = true;
        } else if (a == "--require-confirmation") {
            options.RequireConfirmation = true;
        } else if (a == "--no-check") {
            options.NoCheck = true;
        } else if (a == "--help" || a == "-h") {
            options.ShowHelp = true;
        } else if (a == "--version") {
            options.ShowVersion = true;
        } else if (ReadImageOption(reader, a, options)) {
        } else if (reader.IsOption()) {
            reader.Reject();
        } else if (options.File.empty()) {
            options.File = a;
        } else {
            throw EUsage("one firmware file only; '" + std::string(a) + "' is a second");
        }
    }
    if (options.ShowHelp || options.ShowVersion) return options;
    if (options.File.empty()) throw EUsage("no firmware file given");
    if (options.Ports.empty()) throw EUsage("no --port given");
    return options;
}

std::string FlashUsage()
{
    return R"(Usage: tarvel-flash --port DEVICE [--port DEVICE]... [--type firmware|boot]
                    [--timeout SECONDS] [--log FILE] [--progress auto|bar|plain|none]
                    [--json] [--quiet] [--no-check] [--require-confirmation] [--watch]
                    [--base-address ADDRESS] [--record-size BYTES]
                    [--send TEXT | --expect REGEX]... [--report FILE.csv] [--junit FILE.xml]
                    FILE

Flashes FILE into the boot loader on each port, in parallel, exactly as the Tarvel window does:
115200 baud 8N1, DTR and RTS on, exclusive use; Init (CR LF), the menu answered with the flash
type, the password prompt answered, then FILE line by line once the device says "Send": 5 ms
before each of the first 64 lines, and after 64 lines without an answer a wait for one. At most
8 KiB are ever queued ahead of the wire, so after "ERREUR", a time-out or Ctrl-C nothing more of
the file reaches the device.

A board is flashed when the device confirms it: after the last line it comes back to the menu
prompt it showed after Init, with no "ERREUR" and no restart on the way. A device that shows its
banner or menu again while the file is going out has restarted (a watchdog, a brown-out) and
would read the rest as menu input: the transfer stops there and the port fails (exit 1). So that
a restart on one of the last records is seen too, the last line waits until the line has
carried the others; a device that still shows its banner after the last line confirms only by
falling quiet at its menu. A device that says nothing within a second after the last line (or
keeps talking for a minute without its menu) has not confirmed: the result says "sent; the
device did not confirm" (exit 0, "unconfirmed" in --json), or with --require-confirmation it
fails (exit 1).

FILE is checked before any port is opened. When it is made of Motorola S-records (every non-empty
line starts with S0..S9), every record is verified: hex digits only, the byte count, the
checksum, the address width of its type, and a count record (S5/S6) against the data records
before it. A bad record is named by its line number and nothing is sent.

FILE may also be what a toolchain makes, told by its content, not its name: Intel HEX, an ELF
executable (32- or 64-bit, either byte order: its loadable segments at their physical
addresses), or a raw binary (anything that is not text). It is converted in memory to
S-records, and those are sent: an S0 header with the file's name, S3 data records, an S7
record with the entry point (the HEX start address record or the ELF entry; 0 if none). A HEX
file is checked whole first: every checksum and byte count, the record types (00 to 05), its
end-of-file record, and no two records for the same address; a bad one is named by its line
number. Overlapping ELF segments are refused too. The conversion is said on stderr.

Options:
  --port DEVICE      a serial device (/dev/ttyUSB0, /dev/serial/by-id/..., a pseudo-terminal),
                     usb:VID:PID or usb:VID:PID:SERIAL (found through sysfs, whatever ttyUSB
                     number the board got), or auto (the one USB serial adapter present;
                     otherwise the candidates are listed), or a port that ser2net serves
                     across the network: rfc2217://HOST:PORT (the line set to 115200 8N1, DTR
                     and RTS on, through RFC 2217) or tcp://HOST:PORT (bytes only); give it
                     several times to flash several boards at once
  --type TYPE        firmware (default; the menu is answered "2") or boot ("1")
  --timeout SECONDS  bound on each wait for the device: the menu after Init, the password
                     prompt, "Send", an answer in a 64-line window (default 10)
  --log FILE         everything each device said, byte for byte; with several ports one file
                     per port, FILE.<n> in --port order
  --progress STYLE   auto (default: bar on a terminal, plain otherwise), bar (one live line
                     per port; plain under --watch with several ports), plain (a line at
                     start, every 10 % and the end; no carriage returns or colours), none
  --json             at the end, one JSON object per port: port, the adapter's USB serial
                     number, file, the file's SHA-256, image_sha256 (of the image's bytes in
                     address order, gaps left out; null for a file that is no S-records and
                     is not converted, or whose records overlap), result (ok, unconfirmed,
                     failed or interrupted), exit code, lines, bytes, seconds, and with
                     --expect "check", the matched texts
  --quiet            print failures only
  --watch            keep going, board after board: for each port wait until a device is there,
                     flash it, wait until it is unplugged, and so on; one result line per board
                     and a running count; Ctrl-C ends the loop and prints the totals (exit 0
                     when every board passed, else the first failure's code). Arrivals are
                     learnt from the kernel (inotify), not by polling. With --log, one file per
                     board: FILE.<port>.<serial>.<time>
  --no-check         send a text FILE as it is and let the device judge it (a HEX, ELF or
                     binary file is always converted, so always checked)
  --base-address ADDRESS
                     where a raw binary's first byte goes, 0x... in hex or decimal (default
                     0); given for a file that is not a raw binary, it is an error (exit 2)
  --record-size BYTES
                     data bytes per S3 record of a converted file, 1 to 250 (default 32)
  --require-confirmation
                     a device silent after the last line fails the port (exit 1)
  --send TEXT        after the board is flashed, send TEXT to it (\r \n \t \\ and \xHH
                     stand for those bytes), e.g. the menu choice that starts the application
  --expect REGEX     after the board is flashed, wait up to --timeout for what it says to
                     match REGEX (ECMAScript; ^ and $ match at line ends); the matched text
                     goes into the result. --send and --expect are taken in the order given,
                     a short dialogue: each --expect looks at what came after the last
                     --send, or after the last line of the file when none came before it,
                     and after the previous match. No match: exit 5, with the last bytes
  --report FILE      append one CSV row (RFC 4180, UTF-8) per board and port to FILE, a
                     header first when FILE is new: time_utc, station, port, usb_serial, file,
                     sha256, result, exit_code, seconds, lines, bytes, check (the matched
                     texts, " | " between them), message. Each row is one write at the end of
                     the file, then synced to disk, so several processes may share FILE
  --junit FILE       write FILE as a JUnit XML report, one test case per board (failure for
                     exit 1 and 5, error for the others), rewritten as each board ends
  --help, --version  print and exit

Exit codes:
  0    every port flashed and confirmed by its device; or sent whole, nothing refused, no
       restart, but the device silent after the last line ("unconfirmed"; a failure with
       --require-confirmation)
  1    a device refused the file ("ERREUR"), restarted during the transfer, stopped answering
       (time-out), or did not confirm under --require-confirmation
  2    usage error, or a firmware file that is unreadable, empty or corrupted
  3    a port could not be opened (the message says why)
  4    a device went away during the session
  5    the board was flashed, but the check after it (--expect) saw no match in time
  130  interrupted (Ctrl-C): every transfer stopped, ports closed
With several ports the code is that of the first port, in --port order, that failed.
)";
}
