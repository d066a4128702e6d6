// Radios on the network: the same download against the simulated radio in real time at 115200 baud, on its
// pty and through ser2net on localhost, side by side; through a proxy that holds each piece 5 ms each way,
// measured beside the stop-and-wait estimate for a remote bench (each frame waits for its reply: one round
// trip more a frame); and sixteen radios behind ser2net at once against one.

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Processes.h"
#include "Scratch.h"
#include "support/Paths.h"

namespace {

int Listener(int& port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    listen(fd, 16);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    return fd;
}

// ser2net in front of the devices, at free ports of 127.0.0.1.
pid_t StartSer2net(const std::filesystem::path& folder, const std::vector<std::string>& devices,
                   std::vector<std::string>& addresses) {
    std::ofstream config(folder / "ser2net.yaml");
    for (size_t i = 0; i < devices.size(); ++i) {
        int port = 0;
        close(Listener(port));
        addresses.push_back("rfc2217://127.0.0.1:" + std::to_string(port));
        config << "connection: &radio" << i << "\n  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1," << port
               << "\n  connector: serialdev," << devices[i]
               << ",19200n81,local\n  options:\n    chardelay: false\n\n";
    }
    config.close();
    pid_t server = Start(
        {"ser2net", "-n", "-c", (folder / "ser2net.yaml").string(), "-P", (folder / "ser2net.pid").string()});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return server;
}

// A link to `address` that holds each piece `delayMs` each way, at a free port: the tests' proxy.
pid_t StartDelay(const std::string& address, int delayMs, std::string& delayed) {
    int port = 0;
    close(Listener(port));
    delayed = "rfc2217://127.0.0.1:" + std::to_string(port);
    pid_t proxy =
        Start({"/usr/bin/python3", KX6000_SOURCE_DIR "/tests/cli/network-server.py", "delay",
               std::to_string(port), address.substr(address.rfind(':') + 1), std::to_string(delayMs)});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return proxy;
}

void End(pid_t process) {
    kill(process, SIGTERM);
    waitpid(process, nullptr, 0);
}

// The frames the radio took in its trace: each waited for its answer.
int Frames(const std::string& trace) {
    std::ifstream file(trace);
    int frames = 0;
    for (std::string line; std::getline(file, line);)
        frames += line.find("\"event\":\"frame\"") != std::string::npos;
    return frames;
}

}  // namespace

int main() {
    constexpr int kRadios = 16;
    Scratch scratch;
    const std::string bin = kx6000::ProgramFolder(), file = (scratch.folder / "image.s28").string();
    const size_t dataBytes = WriteImage(file, 64 * 1024);
    auto download = [&](const std::vector<std::string>& devices) {
        std::vector<std::string> arguments = {bin + "/kx6000-download", "--baud", "115200", "--quiet"};
        for (const std::string& device : devices) arguments.insert(arguments.end(), {"--device", device});
        arguments.insert(arguments.end(), {"download", file});
        return Measure(arguments);
    };
    std::vector<std::string> links;
    std::vector<pid_t> radios;
    const std::string trace = (scratch.folder / "trace").string();
    for (int i = 0; i < kRadios; ++i) {
        links.push_back((scratch.folder / ("radio" + std::to_string(i))).string());
        radios.push_back(StartRadio(
            links.back(), i == 0 ? std::vector<std::string>{"--trace", trace} : std::vector<std::string>{}));
    }
    Run pty = download({links[0]});
    std::vector<std::string> addresses;
    pid_t server = StartSer2net(scratch.folder, links, addresses);
    Run network = download({addresses[0]});
    const int frames = Frames(trace) / 2;  // the trace holds both runs
    constexpr int kDelayMs = 5;
    std::string delayed;
    pid_t proxy = StartDelay(addresses[0], kDelayMs, delayed);
    Run remote = download({delayed});
    End(proxy);
    Run all = download(addresses);
    End(server);
    for (pid_t radio : radios) End(radio);
    if (pty.status != 0 || network.status != 0 || remote.status != 0 || all.status != 0)
        return std::fprintf(stderr, "bench-network: a download failed\n"), 1;

    std::printf("network: %zu KiB of data at 115200 baud, the radio in real time\n", dataBytes / 1024);
    std::printf("  on its pty                  %6.2f s\n", pty.wall);
    std::printf("  through ser2net             %6.2f s  (%.3f of the pty's)\n", network.wall,
                network.wall / pty.wall);
    std::printf("  a remote bench, estimated   %6.2f s + %d frames x its round trip\n", network.wall, frames);
    std::printf("  %d ms each way, measured     %6.2f s  (estimated %.2f s)\n", kDelayMs, remote.wall,
                network.wall + frames * 2 * kDelayMs / 1000.0);
    std::printf("  %d radios behind ser2net   %6.2f s  (%.3f of one)\n", kRadios, all.wall,
                all.wall / network.wall);
    std::printf("target: through ser2net at most 1.03 of the pty, %d radios at most 1.10 of one\n", kRadios);
    return network.wall <= 1.03 * pty.wall && all.wall <= 1.10 * network.wall ? 0 : 1;
}
