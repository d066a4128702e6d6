// The least a Windows program does to hold a radio's conversation: a script of what to write and which
// reply to wait for, played on a COM port with plain synchronous Win32 calls, its reads in one of three
// styles. Under wine it shows what the serial layer costs a reply without the component around it.
//
// Usage: line-probe PORT SCRIPT STYLE. Each line of SCRIPT is "B <baud>" (set the speed), "W <hex>" (write
// these bytes) or "R <hex>" (read until what came ends with these). STYLE is how a read waits:
//   at-once   COMMTIMEOUTS {MAXDWORD, MAXDWORD, 10}: documented to end as soon as a byte is there
//   interval  {1, 0, 10}: ends 1 ms after the last byte
//   polling   {MAXDWORD, 0, 0}: takes what is there and never waits (the loop spins)
// Exit status 1 when a step fails or a reply does not come within 5 seconds.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

std::string Bytes(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

bool SetSpeed(HANDLE port, DWORD baud) {
    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(port, &line)) return false;
    line.BaudRate = baud;
    line.ByteSize = 8;
    line.Parity = NOPARITY;
    line.StopBits = ONESTOPBIT;
    line.fBinary = TRUE;
    line.fOutxCtsFlow = line.fOutxDsrFlow = line.fOutX = line.fInX = FALSE;
    line.XonChar = 0x11;
    line.XoffChar = 0x13;
    return SetCommState(port, &line) != 0;
}

bool Write(HANDLE port, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(port, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool Await(HANDLE port, const std::string& tail) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!got.ends_with(tail)) {
        if (std::chrono::steady_clock::now() > end) return false;
        char buffer[4096];
        DWORD count = 0;
        if (!ReadFile(port, buffer, sizeof buffer, &count, nullptr)) return false;
        got.append(buffer, count);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::map<std::string, COMMTIMEOUTS> styles{{"at-once", {MAXDWORD, MAXDWORD, 10, 0, 2000}},
                                                     {"interval", {1, 0, 10, 0, 2000}},
                                                     {"polling", {MAXDWORD, 0, 0, 0, 2000}}};
    if (argc != 4 || !styles.contains(argv[3]))
        return std::fprintf(stderr, "usage: line-probe PORT SCRIPT at-once|interval|polling\n"), 2;
    const std::string name = std::string("\\\\.\\") + argv[1];
    HANDLE port =
        CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    COMMTIMEOUTS timeouts = styles.at(argv[3]);
    if (port == INVALID_HANDLE_VALUE || !SetSpeed(port, 19200) || !SetCommTimeouts(port, &timeouts))
        return std::fprintf(stderr, "line-probe: cannot open %s\n", argv[1]), 1;
    std::ifstream script(argv[2]);
    int step = 0;
    for (std::string line; std::getline(script, line); ++step) {
        std::istringstream words(line);
        std::string what, value;
        words >> what >> value;
        const bool done = what == "B"   ? SetSpeed(port, static_cast<DWORD>(std::stoul(value)))
                          : what == "W" ? Write(port, Bytes(value))
                                        : Await(port, Bytes(value));
        if (!done) return std::fprintf(stderr, "line-probe: step %d (%.40s) failed\n", step, line.c_str()), 1;
    }
    CloseHandle(port);
    return 0;
}
