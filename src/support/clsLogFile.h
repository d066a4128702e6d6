// One diagnostic log: sections of time-stamped lines, appended, CR LF ended,
// written only while the Debug flag is on.
#pragma once

#include <string>
#include <string_view>

#include "platform/Files.h"

namespace kx6000 {

class clsLogFile {
public:
    clsLogFile() = default;
    ~clsLogFile();
    clsLogFile(const clsLogFile&) = delete;
    clsLogFile& operator=(const clsLogFile&) = delete;

    // Opens the file and writes a section head, unless logging is off or the log is open already.
    void OpenLogFile();
    // Writes the section tail and closes the file (logging on only).
    void CloseLogFile();
    // Writes one message line. A text containing "Write Flash Data" is first cut,
    // in the caller's string, to its first 41 characters followed by "....".
    void WriteToLogFile(std::string& strData);
    void WriteToLogFile(std::string&& strData) { WriteToLogFile(strData); }
    bool IsOpen() const { return file.IsOpen(); }
    // The path used by the next OpenLogFile.
    void FileName(std::string strFileName) { fileName = std::move(strFileName); }

    // Closes the file without its tail, as the end of the process would, and forgets the path.
    void Discard();

private:
    // Writes one line whole; a failure is said with the path and closes the log.
    void WriteLine(std::string_view text);

    AppendFile file;
    std::string fileName;
};

// Moves the log at `current` to `previous` (replacing it), unless another process has it open: the copy is
// made under a temporary name and renamed over `previous` only when whole. A failure is said with its path.
void RotateLogFile(const std::string& current, const std::string& previous);

// The local date and time in the user's locale's general format (short date, long time).
std::string NowText();

}  // namespace kx6000
