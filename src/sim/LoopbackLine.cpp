#include "sim/LoopbackLine.h"

#include <condition_variable>
#include <map>
#include <mutex>

#include "platform/SerialDevice.h"
#include "port/clsSerial.h"

namespace kx6000::sim {

namespace {

constexpr size_t kRoom = 4096;  // what the component's end holds unread, as a tty's input buffer does
constexpr const char* kPrefix = "loopback:";

bool RadioSpeed(uint32_t baud) {
    return baud == 9600 || baud == 19200 || baud == 115200;
}

DeviceError Failed(DeviceFailure kind, std::errc error) {
    return {kind, std::make_error_code(error)};
}

}  // namespace

// What both ends share; the radio's end owns it, the component's end keeps it while open.
struct LoopbackLine::Ends {
    struct Written {
        std::vector<uint8_t> bytes;
        int baud;  // the component's speed when it wrote them
    };

    std::mutex mutex;
    std::condition_variable changed;
    int portBaud = 19200;  // a new line's speed, as a tty's; a close keeps the last one
    bool held = false;     // by a component's port
    bool gone = false;     // the radio's end is closed
    bool woken = false;
    std::vector<Written> written;      // to the radio
    std::vector<uint8_t> toComponent;  // bytes that have arrived at the component's end, unread
};

namespace {

// The component's end, as its serial port drives it.
class ComponentEnd final : public Device {
public:
    explicit ComponentEnd(std::shared_ptr<LoopbackLine::Ends> ends) : ends(std::move(ends)) {}
    ~ComponentEnd() override {
        if (open) Close();
    }

    DeviceError Open(const std::string&, uint32_t baudRate) override {
        if (!RadioSpeed(baudRate)) return Failed(DeviceFailure::Other, std::errc::invalid_argument);
        if (!ends) return Failed(DeviceFailure::NotFound, std::errc::no_such_file_or_directory);
        std::lock_guard lock(ends->mutex);
        if (ends->gone) return Failed(DeviceFailure::NotFound, std::errc::no_such_file_or_directory);
        if (ends->held) return Failed(DeviceFailure::InUse, std::errc::device_or_resource_busy);
        ends->held = open = true;
        ends->portBaud = static_cast<int>(baudRate);
        return {};
    }
    // A byte written is on the line at once; the port itself waits out its time there.
    void Drain() override {}
    DeviceError Close() override {
        std::lock_guard lock(ends->mutex);
        ends->held = open = false;
        return {};
    }
    void DiscardInput() override {
        std::lock_guard lock(ends->mutex);
        ends->toComponent.clear();
        ends->changed.notify_all();
    }
    DeviceError Write(const char* data, size_t size) override {
        std::lock_guard lock(ends->mutex);
        if (ends->gone) return Failed(DeviceFailure::HungUp, std::errc::io_error);
        ends->written.push_back({{data, data + size}, ends->portBaud});
        ends->changed.notify_all();
        return {};
    }
    DeviceError Read(std::string& into, int milliseconds) override {
        into.clear();
        std::unique_lock lock(ends->mutex);
        ends->changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                               [this] { return !ends->toComponent.empty() || ends->gone; });
        if (ends->gone) return Failed(DeviceFailure::HungUp, std::errc::io_error);
        into.assign(ends->toComponent.begin(), ends->toComponent.end());
        ends->toComponent.clear();
        ends->changed.notify_all();  // room for a radio that had none
        return {};
    }

private:
    std::shared_ptr<LoopbackLine::Ends> ends;
    bool open = false;
};

// The lines alive, by their device paths.
struct Lines {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<LoopbackLine::Ends>> byPath;
    int made = 0;
};

Lines& AllLines() {
    static Lines lines;
    return lines;
}

std::unique_ptr<Device> OpenDevice(const std::string& path) {
    if (!path.starts_with(kPrefix)) return std::make_unique<SerialDevice>();
    std::lock_guard lock(AllLines().mutex);
    auto line = AllLines().byPath.find(path);
    return std::make_unique<ComponentEnd>(line == AllLines().byPath.end() ? nullptr : line->second.lock());
}

}  // namespace

LoopbackLine::LoopbackLine(bool realtime, Trace& trace)
    : Line(realtime, trace), ends(std::make_shared<Ends>()) {
    static std::once_flag opener;
    std::call_once(opener, [] { clsSerial::SetDeviceOpener(OpenDevice); });
    std::lock_guard lock(AllLines().mutex);
    path = kPrefix + std::to_string(++AllLines().made);
    AllLines().byPath[path] = ends;
}

LoopbackLine::~LoopbackLine() {
    {
        std::lock_guard lock(AllLines().mutex);
        AllLines().byPath.erase(path);
    }
    std::lock_guard lock(ends->mutex);
    ends->gone = true;
    ends->changed.notify_all();
}

int LoopbackLine::PortBaud() const {
    std::lock_guard lock(ends->mutex);
    return ends->portBaud;
}

void LoopbackLine::Receive(Clock::time_point now, int radioBaud) {
    std::vector<Ends::Written> written;
    {
        std::lock_guard lock(ends->mutex);
        written.swap(ends->written);
    }
    // Each write keeps the speed it was made at: garbled exactly while the two speeds differ.
    for (const auto& write : written)
        Take(write.bytes.data(), write.bytes.size(), write.baud, now, radioBaud);
}

Line::Events LoopbackLine::Wait(std::optional<Clock::time_point> deadline) {
    std::unique_lock lock(ends->mutex);
    auto ready = [this] {
        return ends->woken || !ends->written.empty() || (blocked && ends->toComponent.size() < kRoom);
    };
    if (deadline)
        ends->changed.wait_until(lock, *deadline, ready);
    else
        ends->changed.wait(lock, ready);
    ends->woken = false;
    return {!ends->written.empty(), false};
}

void LoopbackLine::Wake() {
    std::lock_guard lock(ends->mutex);
    ends->woken = true;
    ends->changed.notify_all();
}

size_t LoopbackLine::Put(const std::vector<uint8_t>& bytes) {
    std::lock_guard lock(ends->mutex);
    size_t count = std::min(bytes.size(), kRoom - std::min(kRoom, ends->toComponent.size()));
    ends->toComponent.insert(ends->toComponent.end(), bytes.begin(), bytes.begin() + count);
    blocked = count == 0;
    if (count > 0) ends->changed.notify_all();
    return count;
}

}  // namespace kx6000::sim
