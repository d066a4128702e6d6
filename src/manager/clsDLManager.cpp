#include "manager/clsDLManager.h"

#include "files/FileChecks.h"
#include "files/FileHelpers.h"
#include "port/clsSerial.h"
#include "protocol/clsProtocol.h"
#include "resources/ResourceTexts.h"
#include "support/Errors.h"
#include "support/Paths.h"
#include "support/Program.h"
#include "support/modRegistry.h"

namespace kx6000 {
namespace {

constexpr const char* kDownloadLog = "KX6000Download.log";
constexpr const char* kPreviousDownloadLog = "KX6000Download_Previous.log";
constexpr const char* kConfigLog = "KX6000Config.log";

// The manager whose window receives the common error message box.
const clsDLManager* errorBoxOwner = nullptr;

}  // namespace

clsDLManager::clsDLManager(std::unique_ptr<UIForm> form) : uiForm(std::move(form)) {
    ErrorBox = [window = uiForm.get()](const std::string& text) { window->ReportError(text); };
    errorBoxOwner = this;
    Debug = modRegistry::GetRegistryValue("Debug", "False") == "True";
    radioType = RADIO_FMX;
    upgradeFileName = RootPath("ZMA1U.Srec");
    Protocol = std::make_unique<clsProtocol>();
    DownloadLog.FileName(LogPath(kDownloadLog));
    ConfigLog.FileName(LogPath(kConfigLog));
    CreateNewLogFile();
    uiForm->DownLoadManager(this);
    LoadResourceTexts();
    Protocol->PreviousBaudRate(std::string(kBaudRateItems[2]));
}

clsDLManager::~clsDLManager() {
    if (errorBoxOwner == this) {
        ErrorBox = nullptr;
        errorBoxOwner = nullptr;
    }
}

void clsDLManager::LoadResourceTexts() {
    auto load = [](int first, int last) {
        for (int id = first; id <= last; ++id) TextTable[id] = LoadResString(id);
    };
    load(1, 2);
    load(1000, 1015);
    load(1021, 1022);
    load(2000, 2022);
    load(3000, 3000);
    load(4000, 4000);
}

void clsDLManager::GetLastError(int32_t& lngErrNum, std::string& strErrDescription) const {
    lngErrNum = LastError;
    strErrDescription = ErrorMessage(LastError);
}

void clsDLManager::CreateNewLogFile() {
    if (OperationRunning) return;
    std::string current = LogPath(kDownloadLog);
    RotateLogFile(current, LogPath(kPreviousDownloadLog));
    DownloadLog.FileName(current);
}

int16_t clsDLManager::SetPort(const std::string& strPort, bool blnUI) {
    if (OperationRunning) return kInUse;
    DownloadLog.OpenLogFile();
    uiForm->UIDisplay(blnUI);
    this->blnUI = blnUI;
    uiForm->ShowWindow(blnUI);
    if (strPort == "1" || strPort == "2" || strPort == "3" || strPort == "4") {
        if (Port) Port->ClosePort();  // the device may be the one chosen again
        auto serial = std::make_unique<clsSerial>();
        serial->ClosePort();
        serial->CommPort(PortDevicePath(strPort[0] - '0'));
        serial->OpenPort();
        Port = std::move(serial);
        // The configurations read on the other port are no list to erase from on this one.
        if (radio) {
            radio.reset();
            uiForm->SetLabels(false);
        }
    } else {
        LastError = 11;
    }
    uiForm->PortText(strPort);
    uiForm->StatusPanelStatus(LastError == 0 ? Text(2001) : ErrorStatusText(LastError));
    uiForm->StatusPanelBaud(Text(3000));
    DownloadLog.CloseLogFile();
    return static_cast<int16_t>(LastError);
}

int16_t clsDLManager::LoadFiles(const std::string& FilesToDL) {
    if (OperationRunning) return kInUse;
    DownloadLog.OpenLogFile();
    Files = std::make_unique<colFiles>();
    loadChecks.clear();
    std::vector<std::string> paths = SplitFileList(FilesToDL);
    if (blnUI) modRegistry::SaveRegistryValue("LastFile", paths.front());
    int32_t firstFailure = 0;
    for (const std::string& path : paths) {
        uiForm->StatusPanelStatus(Text(2008));
        if (std::string refusal = RelativePathRefusal(path); !refusal.empty()) {
            DownloadLog.WriteToLogFile(refusal);
            FileCheck refused;
            refused.name = path, refused.result = kFileMissing, refused.notes.failure = FileNote{0, refusal};
            loadChecks.push_back(std::move(refused));
        } else {
            // One parse: what it explains is what DownLoad would write.
            loadChecks.push_back(CheckFile(path, *Files, parser, radioType == RADIO_FMX));
        }
        if (firstFailure == 0) firstFailure = loadChecks.back().result;
    }
    RefuseRunAddresses(loadChecks, *Files);
    LastError = firstFailure;
    uiForm->StatusPanelStatus(LastError != 0 ? ErrorStatusText(LastError) : Text(2001));
    uiForm->StatusPanelBaud(Text(3000));
    DownloadLog.CloseLogFile();
    return static_cast<int16_t>(LastError);
}

void clsDLManager::ValidFile(const std::string& strFileName) {
    if (!OperationRunning) ParseFile(strFileName);
}

void clsDLManager::ParseFile(const std::string& strFileName) {
    if (std::string refusal = RelativePathRefusal(strFileName); !refusal.empty()) {
        DownloadLog.OpenLogFile();
        DownloadLog.WriteToLogFile(refusal);
        DownloadLog.CloseLogFile();
        LastError = kFileMissing;
        return;
    }
    if (!Files) Files = std::make_unique<colFiles>();
    LastError = ParseDownloadFile(strFileName, *Files, parser, radioType == RADIO_FMX);
}

std::string clsDLManager::RelativePathRefusal(const std::string& path) const {
    if (!absolutePathsOnly || PathOf(path).is_absolute()) return "";
    return "File not loaded: \"" + path +
           "\" is a relative path; automation callers pass absolute paths, which the server never resolves "
           "against its own folder";
}

void clsDLManager::RadioType(enmRadioType vNewValue) {
    if (OperationRunning) return;
    radioType = vNewValue;
    upgradeFileName = RootPath(vNewValue == RADIO_FMX ? "ZMA1U.Srec" : "ZMA2U.Srec");
    uiForm->SetLabels(true);
}

}  // namespace kx6000
