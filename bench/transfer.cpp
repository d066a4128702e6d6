// The protocol's pace against the line: writing 256 KiB into the simulated radio
// running in real time at 115200 baud, against the time its bytes need on the line.

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>

#include "Scratch.h"
#include "manager/clsDLManager.h"
#include "port/clsSerial.h"
#include "protocol/clsProtocol.h"
#include "sim/SimulatedRadio.h"
#include "support/Hex.h"
#include "support/Program.h"
#include "ui/ConsoleForm.h"

using namespace kx6000;

int main() {
    Scratch scratch;
    std::ostringstream out;
    std::istringstream in;
    clsDLManager manager(std::make_unique<ConsoleForm>(ConsoleOptions{.quiet = true}, out, in));

    sim::SimulatedRadio radio(sim::ParseScenario(R"({"start": {"state": "running"}})"),
                              {.realtime = true, .tracePath = ""});
    clsSerial port;
    port.CommPort(radio.DevicePath());
    port.SetPortParameters("19200", 1);
    clsProtocol protocol;
    protocol.PreviousBaudRate("19200");
    protocol.NegotiateBaud(manager.Form(), port, 1);
    clsRadio model;
    protocol.GetFlashBlocks(port, model);
    if (LastError != 0)
        return std::fprintf(stderr, "bench-transfer: no radio at 115200 (%d)\n", LastError), 1;

    // 0x20000 words of random data: 256 KiB across blocks 2 and 3.
    clsFile image;
    image.Definitiontables().Add(0x20000);
    std::mt19937 random(6100);
    std::string data;
    for (int i = 0; i < 0x40000; ++i) data += ToHex(random() & 0xFF, 2);
    for (size_t at = 0; at < data.size(); at += 1020)
        image.Definitiontables().Item(0).DataBlocks->Add(data.substr(at, 1020));
    image.Definitiontables().SetLength(0x20000);

    size_t before = radio.Frames().size();
    auto start = std::chrono::steady_clock::now();
    protocol.WriteDataToFlash(manager.Form(), port, image, *model.FlashBlocks);
    double achieved = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (LastError != 0) return std::fprintf(stderr, "bench-transfer: the write failed (%d)\n", LastError), 1;

    // Every byte on the line, both ways: the frames, and replies of "AFAF" or, for
    // block lists, a word per block and "AFAF".
    size_t bytes = 0, frames = 0;
    for (const auto& frame : radio.Frames()) {
        if (frames++ < before) continue;
        size_t words = (frame.hex.size() - 8) / 4;
        bool blockList = frame.code == 0x32 || frame.code == 0x33 || frame.code == 0x39;
        bytes += frame.hex.size() / 2 + 2 + (blockList ? 2 * words : 0);
    }
    double ideal = static_cast<double>(bytes) * 10 / 115200;
    std::printf("transfer: %zu KiB of data in %zu frames at 115200 baud, %zu bytes on the line\n",
                data.size() / 2 / 1024, frames - before, bytes);
    std::printf("achieved %.2f s, ideal %.2f s: achieved / ideal = %.3f (target <= 1.05)\n", achieved, ideal,
                achieved / ideal);
    return achieved / ideal <= 1.05 ? 0 : 1;
}
