// The main window's rules, with no toolkit: which row a configuration takes and how it reads, the status
// texts and colours, the erase list, the window's fixed texts, the port list's tooltips, what is enabled
// while a command runs and what a file choice gives. Each window only draws what these give it; the command
// line takes its status texts and erase refusals from here too.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kx6000 {

class colConfigurations;
struct clsConfiguration;
struct SerialPortInfo;

// The caption of the program's windows and message boxes.
inline constexpr const char* kApplicationTitle = "KX6000 Download";
// The table's rows besides the hardware row.
inline constexpr int kTableRows = 9;
// Asked when the window is closed while one of its commands runs; No is the default, since a stopped download
// leaves the radio in upgrade mode.
inline constexpr const char* kStopQuestion =
    "A command is running. Stop it and close the window? The radio stays in upgrade mode until the next "
    "command resets it.";
// The items of the port list, in list order.
inline constexpr std::array<const char*, 4> kPortItems = {"1", "2", "3", "4"};
// Each item's tooltip, in list order: the device its port reaches, with its description, out of the devices
// `present`. The windows take them afresh when the list is opened or the window shown, as adapters come and
// go.
std::array<std::string, kPortItems.size()> PortTips(const std::vector<SerialPortInfo>& present);

struct Rgb {
    uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A configuration's status as the window shows it: "OK" in black, "No code segments" in blue, "Checksum
// invalid" in red, any other number as itself in black.
struct StatusShown {
    std::string text;
    Rgb colour;
    bool named = false;  // one of the three texts, not a bare number
};
StatusShown StatusOf(int32_t status);

// What a product ID is, by its type code (first and fifth characters) or its "KXA" prefix.
enum class ConfigurationKind { RadioApplication, FpgaImage, BootCode, Hardware, NonStandard };
ConfigurationKind KindOf(const std::string& productId);
// Boot code is erased only in test mode.
bool Erasable(ConfigurationKind kind, bool testMode);
// The first configuration starting "KXA", which has the hardware row; null when there is none.
const clsConfiguration* HardwareConfiguration(const colConfigurations& list);

// One row of the table as drawn. An empty text is a hidden cell: the network and device IDs are shown for
// the KX6200 only, the hardware row's status only when it is not 0.
struct TableRow {
    std::string type, productId, status, networkId, deviceId;
    Rgb statusColour;
    bool box = false;        // its check box is shown; the hardware row's from a second "KXA" one on
    std::string eraseEntry;  // what erasing it sends: "NNDD|ProductID|"
};

struct ConfigurationTable {
    std::optional<TableRow> hardware;
    std::vector<TableRow> rows;  // rows 1 to 9, in the list's order
    bool tooLong = false;        // configurations were left out for want of rows: error 2
};

// The table a configuration list fills. Boot code can be ticked only in test mode.
ConfigurationTable TableOf(const colConfigurations& list, bool kx6200, bool testMode);

// The window's texts for a model once it is set; the ID headings are shown for the KX6200 only.
struct WindowTexts {
    std::string title, frame, product, status, networkId, deviceId, currentDownload, progress, hardware,
        statusTag;
    bool idHeadings = false;
};
// The title line is the model's component name, its version, and " - Testmode" in test mode.
WindowTexts TextsFor(bool kx6200, bool testMode);

// The commands' controls as enabled: all but Erase are off while a command runs, and Erase comes on only
// when a row is ticked, never at a command's end.
struct CommandControls {
    bool report = true, erase = false, download = true, port = true;
};

// What a file choice gives LoadFiles: one file's path, or for several the folder followed by the names,
// each after a NUL. A cancel or nothing chosen gives no files and the error and status text to show.
struct FileChoice {
    std::string files;
    int32_t error = 0;   // 31 cancelled, 32 nothing (or a choice too long for the dialog's text)
    std::string status;  // empty when files were chosen
};
FileChoice ChosenFiles(bool cancelled, const std::vector<std::string>& paths);

// Opens the help at the main window's topic, for the window with this handle (F1 and the help button).
void OpenWindowHelp(int32_t windowHandle);

// The state of one window: its table, the ticks, whether one of its commands runs.
class WindowRules {
public:
    // Empties the table and clears the ticks.
    void Clear();
    // Fills the table from the radio's list, after a Clear; false when it is too long (the caller's error 2).
    bool Fill(const colConfigurations& list, bool kx6200, bool testMode);
    const ConfigurationTable& Table() const { return table; }
    // A row's check box, 1 to 9, ticked or not; Erase follows.
    void Tick(int row, bool ticked);
    bool Ticked(int row) const { return ticked.at(static_cast<size_t>(row)); }
    // The ticked rows' erase entries, in row order; empty when none is ticked.
    std::string EraseList() const;

    // A command starts unless one runs already (a click from the event pump of a running one).
    bool Begin();
    void End();
    bool Busy() const { return busy; }
    // The window closes only while none of its commands runs; otherwise it asks kStopQuestion, without
    // blocking the command, and Yes stops the command and closes the window after it.
    bool MayClose() const { return !busy; }
    CommandControls Controls() const { return controls; }

private:
    ConfigurationTable table;
    std::array<bool, kTableRows + 1> ticked{};  // no element 0
    bool busy = false;
    CommandControls controls;
};

}  // namespace kx6000
