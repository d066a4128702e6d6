// The component's one public object: a calling program (or the window) creates
// it, chooses the radio model and the port, loads files and runs the radio
// operations. Failures are error numbers, kept in LastError.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/FileChecks.h"
#include "ui/UIForm.h"

namespace kx6000 {

class clsProtocol;
struct DownloadPlan;
class IPort;
struct clsRadio;

enum enmRadioType : int32_t {
    RADIO_FMX = 6100,  // KX6100
    RADIO_MFX = 6200,  // KX6200
};

// The "Set Memory Target" word of a device: the low bytes of its network and
// device IDs, two hex digits each (network 10, device 5: "0A05").
std::string DeviceIdText(int64_t network, int64_t device);

class clsDLManager {
public:
    // While a radio operation runs, the calls that would change its port,
    // files, logs or model are refused with this number and change nothing.
    static constexpr int16_t kInUse = 13;

    // Takes the front end's main window, hidden until a port is chosen with it displayed.
    explicit clsDLManager(std::unique_ptr<UIForm> form);
    ~clsDLManager();
    clsDLManager(const clsDLManager&) = delete;
    clsDLManager& operator=(const clsDLManager&) = delete;

    // The last error number and its message ("Success" for 0). Changes nothing.
    void GetLastError(int32_t& lngErrNum, std::string& strErrDescription) const;

    // Moves the download log aside to "KX6000Download_Previous.log", so the log
    // holds this object's sections only.
    void CreateNewLogFile();

    // The radio operations. Each resets the radio into upgrade mode, gives it
    // its upgrade application, does its work, reads the configurations back
    // and restarts the radio; on every path it shows its outcome, closes the
    // port and the logs and releases the loaded files. The result is the
    // first error number (0 for success); a caller without the window gets
    // the configurations read last as "ProductID|Status|" entries in the
    // optional string. A second operation while one runs (of this manager or
    // any other in the process) gets 13 at once, and so do SetPort and
    // LoadFiles; ValidFile, CreateNewLogFile and RadioType set do nothing then.

    // Reads the configurations the radio holds.
    int16_t ReportConfigurations(std::string* strFiles = nullptr);
    // Writes the files loaded by LoadFiles into the radio.
    int16_t DownLoad(std::string* strFilesToReport = nullptr);
    // The download's session up to its first erase, then the radio restarted instead: `plan` says what the
    // download would erase, write and lose, what it would end with, and how long it would take. Nothing is
    // erased or written. The result is the dry run's own (0 when the plan is whole).
    int16_t DryRun(DownloadPlan& plan);
    // Erases configurations named in pairs "NNDD|ProductID|", NNDD the device
    // ("0000" the radio itself), as the last report or download listed them.
    // With none read since the port was chosen, nothing is erased: 8102.
    int16_t EraseSelected(const std::string& FilesToErase, std::string* strFilesToReport = nullptr);

    // The radio model of the last report or download (null before the first and after a port change).
    const clsRadio* Radio() const { return radio.get(); }

    // Chooses the port "1" to "4" for the radio operations and opens it, and
    // shows the window when blnUI is true. Another text gives 11 and keeps the
    // port chosen before. A port taken forgets the configurations read before:
    // the window's table is emptied and EraseSelected finds nothing to erase.
    int16_t SetPort(const std::string& strPort, bool blnUI);

    // Loads download files for the next DownLoad: one path, paths separated by
    // "|", or a folder and names separated by NUL characters. Every file is
    // loaded; the result is the first failure (33, 34), else 0.
    int16_t LoadFiles(const std::string& FilesToDL);
    // What the last LoadFiles' parse found in each file: failures, refusals, warnings. A front end that
    // refuses a run on them refuses the very images DownLoad would write.
    const std::vector<FileCheck>& LoadedChecks() const { return loadChecks; }

    // Parses one download file into the loaded files; LastError 0, 33 or 34.
    void ValidFile(const std::string& strFileName);

    // For callers whose current folder is not this program's (automation): LoadFiles and ValidFile refuse a
    // relative path with 33, said in the download log, rather than look for it in this program's folder.
    void AbsolutePathsOnly(bool value) { absolutePathsOnly = value; }

    // The files LoadFiles loaded, until a radio operation releases them; null then.
    const colFiles* LoadedFiles() const { return Files.get(); }

    enmRadioType RadioType() const { return radioType; }
    // Any value is taken; 6100 selects the first model's upgrade application,
    // every other value the second model's.
    void RadioType(enmRadioType vNewValue);

    const std::string& UpgradeFileName() const { return upgradeFileName; }
    // Whether the last operation logged the radio on and did not restart it: it waits in upgrade mode.
    bool LeftInUpgradeMode() const { return leftInUpgradeMode; }
    UIForm& Form() { return *uiForm; }

private:
    void LoadResourceTexts();
    // ValidFile without the guard.
    void ParseFile(const std::string& strFileName);
    // Why `path` is refused as relative, for the download log; empty when it is taken.
    std::string RelativePathRefusal(const std::string& path) const;
    // The frame of every radio operation: the guard against a second one, the
    // steps, and the closing steps on every path.
    int16_t Operate(int successText, bool download, const std::function<void()>& steps);
    // Logon and upgrade application; false on failure.
    bool EnterUpgradeMode();
    // The upgrade application file parsed and taken out of Files; none when there is no file or it is
    // refused (LastError says which), its refusal naming the file.
    colFiles::FilePtr ReadUpgradeApplication();
    // Sends `application`, or with none waits for the radio's own.
    void StartUpgradeApplication(const colFiles::FilePtr& application);
    // The header line, the configuration read and, when it succeeded, the restart.
    void ReadBack(const std::string& header, std::string* strFiles);
    // The download's steps, for the download and its dry run.
    void DownloadSteps(std::string* strFilesToReport);
    // The plan's result, the restart, and the time the download would take.
    void EndDryRun(std::chrono::steady_clock::time_point start, std::chrono::steady_clock::duration read);
    void WriteFiles(std::string* strFilesToReport);
    // Matches an image's hardware code (25) and selects the device it names, which becomes `device`.
    bool SelectDevice(const clsFile& file, std::string& device);
    // The configurations lost with the blocks the images going to the flash of image `first` erase: noted
    // in a dry run, else said, and the download goes on only when the technician agrees (else 1).
    bool AcceptLosses(const std::vector<colFiles::FilePtr>& files, const std::vector<std::string>& targets,
                      size_t first, const std::string& device);
    // A stop while an image is written: its blocks are locked again and the configurations read back, the
    // restart skipped. The stop is held a few seconds (StopHeldUntil), so these wait as any command does.
    void CloseStoppedWrite(const clsFile& file, std::string* strFilesToReport);
    // Refuses (52) images going to the flash of image `first` that share one of its blocks; true then.
    bool RefuseSharedBlocks(const std::vector<colFiles::FilePtr>& files,
                            const std::vector<std::string>& targets, size_t first);
    // The network ID (decimal text) of the first configuration whose product ID begins with the code.
    std::optional<std::string> FindHardwareConfiguration(const std::string& strHardware) const;

    enmRadioType radioType = RADIO_FMX;
    std::unique_ptr<UIForm> uiForm;
    std::unique_ptr<clsProtocol> Protocol;
    std::shared_ptr<clsRadio> radio;
    std::unique_ptr<colFiles> Files;
    std::unique_ptr<IPort> Port;
    bool blnUI = false;
    ParserState parser;  // the data width and address digits carried from file to file
    std::vector<FileCheck> loadChecks;
    std::string upgradeFileName;
    bool leftInUpgradeMode = false;
    bool absolutePathsOnly = false;
    DownloadPlan* planning = nullptr;  // during a dry run
};

}  // namespace kx6000
