// Into the boot code's upgrade mode and out of it: reset, logon, the upgrade
// application, the baud switch and the restart.

#include <chrono>
#include <thread>

#include "protocol/clsProtocol.h"
#include "support/Errors.h"
#include "support/Program.h"

namespace kx6000 {
namespace {

void Pause() {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

}  // namespace

void clsProtocol::ReadReply(IPort& port, int16_t timeout) {
    bool terminator = false;
    lastResponse = port.ReadBinary(timeout, "AFAF", terminator);
}

void clsProtocol::SetUpgradeMode(int16_t Value) {
    UpgradeMode = Value != 0 ? 10 : 0;
}

void clsProtocol::ResetAndWait(UIForm& form, IPort& port) {
    port.SetPortParameters("19200", 1);
    if (LastError != 0) return;
    if (UpgradeMode != 10) {
        port.ResetRadio();
        port.WaitForReset();
    } else {
        // The radio ignores the reset byte in this mode: the technician switches it off and on.
        IWaitWindow& wait = form.WaitWindow();
        wait.SetMessage("Please power cycle the radio to continue ...");
        wait.Show();
        do port.WaitForReset();
        while (!wait.IsCancelled() && LastError == kDidNotReset);
        bool cancelled = wait.IsCancelled();
        wait.Hide();
        port.StopTimer();
        if (cancelled) return;
    }
    if (LastError == 0) return;
    // The radio may still be running an upgrade application at one of its rates.
    if (ResetAtRate(port, "115200") || ResetAtRate(port, "19200")) return;
    port.SetPortParameters("9600", 1);
    SendCommand(port, 0, "36", "");
    port.WaitForReset();
    if (LastError == 0) return;
    Pause();
    port.SetPortParameters("19200", 1);
    port.WaitForReset();
}

bool clsProtocol::ResetAtRate(IPort& port, const std::string& rate) {
    port.SetPortParameters(rate, 1);
    SendCommand(port, 0, "36", "");
    Pause();
    port.SetPortParameters("19200", 1);
    port.WaitForReset();
    return LastError == 0;
}

void clsProtocol::LogRadioIntoUpgradeMode(UIForm& form, IPort& port) {
    form.StatusPanelStatus(Text(2003));
    std::string logon = UpgradeMode == 10 ? "3B1D5C" : "21";
    ResetAndWait(form, port);
    if (LastError != 0) return;
    port.WriteBinary(logon);
    if (LastError != 0) return;
    bool terminator = false;
    port.ReadBinary(2000, "2A", terminator);
    if (LastError != 0) LastError = 22;
}

void clsProtocol::SendUpgradeApplication(UIForm& form, IPort& port, const clsFile& BootFile) {
    form.FileNameTextBox("Upgrade Application");
    form.StatusPanelStatus(Text(2004));
    form.FileNameTextBox("Upgrade Application - " + BootFile.TagName);
    DownloadLog.WriteToLogFile("Using boot file : " + BootFile.TagName);
    form.StatusPanelBaud("19200");
    form.ResetProgessBar();
    if (EventPump) EventPump();
    const colDataBlocks& blocks = *BootFile.Definitiontables().Item(0).DataBlocks;
    size_t step = static_cast<size_t>(port.Step());
    // A stop ends the sending: the reply's wait below ends the operation as stopped.
    for (int32_t i = 0; i < blocks.Count() && StopRequested == 0; ++i) {
        const std::string& block = blocks.Item(i);
        for (size_t at = 0; at < block.size() && StopRequested == 0; at += step) {
            port.WriteBinary(block.substr(at, step));  // one byte per write
            if (LastError != 0) return;
        }
        form.ProgressBar(Percent(i + 1, blocks.Count()));
    }
    DownloadLog.WriteToLogFile("Send Upgrade Application... ");
    ReadReply(port, 2000);
    DownloadLog.WriteToLogFile("Response: " + lastResponse);
}

void clsProtocol::NegotiateBaud(UIForm& form, IPort& port, int16_t intListIndex) {
    static const std::pair<const char*, const char*> rates[] = {
        {"0060", "115200"}, {"0010", "19200"}, {"0008", "9600"}};
    form.StatusPanelStatus(Text(2019));
    if (intListIndex == 0) {
        for (auto [code, rate] : rates) {
            SetBaudRate(form, port, code, rate);
            if (LastError == 0) return;
        }
    } else if (intListIndex >= 1 && intListIndex <= 3) {
        auto [code, rate] = rates[intListIndex - 1];
        SetBaudRate(form, port, code, rate);
        if (LastError == 0) return;
    }
    LastError = kBaudRateFailed;
}

void clsProtocol::SetBaudRate(UIForm& form, IPort& port, const std::string& code, const std::string& rate) {
    SendCommand(port, 0, "30", code);
    Pause();
    port.SetPortParameters(rate, 1);
    ReadReply(port, 500);
    ParseResponse();
    if (LastError != 0) {
        SendCommand(port, 0, "38", "");
        ReadReply(port, 500);
        ParseResponse();
    }
    if (LastError != 0) {
        // Back to the old rate: the radio may never have switched.
        port.SetPortParameters(previousBaudRate, 1);
        ReadReply(port, 500);
        if (LastError != 0) {
            SendCommand(port, 0, "38", "");
            ReadReply(port, 500);
            ParseResponse();
            if (LastError != 0) return;
        }
        form.StatusPanelBaud(previousBaudRate);
        return;
    }
    form.StatusPanelBaud(rate);
    previousBaudRate = rate;
}

void clsProtocol::RestartRadio(UIForm& form, IPort& port) {
    form.StatusPanelStatus(Text(2003));
    SendCommand(port, 0, "36", "");
    if (LastError != 0) return;
    port.SetPortParameters("19200", 1);
    if (LastError != 0) return;
    form.StatusPanelBaud("19200");
    port.WaitForReset();
}

}  // namespace kx6000
