#include "resources/ResourceTexts.h"

#include <algorithm>
#include <utility>

namespace kx6000 {
namespace {

// Sorted by id, so a lookup is a binary search. The spelling is the radio
// tools' own and is relied on by calling programs: keep it as it is.
constexpr std::pair<int, std::string_view> kTable[] = {
    {1, "KX6100 Download Component"},
    {2, "KX6200 Download Component"},
    {1000, "Unknown"},
    {1001, "Boot Code"},
    {1002, "FPGA Image"},
    {1003, "Hardware ID"},
    {1004, "Radio Application"},
    {1005, "Configuration"},
    {1006, "Software"},
    {1007, "Product ID"},
    {1008, "Status"},
    {1009, "Current Download"},
    {1010, "Progress"},
    {1011, "OK"},
    {1012, "No code segments"},
    {1013, "Checksum invalid"},
    {1014, "Not found"},
    {1015, "Flash ID"},
    {1016, "Port"},
    {1017, "Baud Rate"},
    {1018, "Erase Configuration(s)"},
    {1019, "Download"},
    {1020, "KX6000 Download"},
    {1021, "Network ID"},
    {1022, "Device ID"},
    {2000, "Status"},
    {2001, "Ready"},
    {2002, "Initialising comms..."},
    {2003, "Resetting radio..."},
    {2004, "Downloading upgrade application..."},
    {2005, "Starting upgrade application..."},
    {2006, "Reading current configuration..."},
    {2007, "Selecting file for download..."},
    {2008, "Validating file..."},
    {2009, "Unlocking flash..."},
    {2010, "Erasing flash..."},
    {2011, "Downloading data..."},
    {2012, "Validating download..."},
    {2013, "Restarting radio..."},
    {2014, "Checking file against flash information..."},
    {2015, "Processing file information..."},
    {2016, "Reading flash information..."},
    {2017, "Download successful"},
    {2018, "Locking flash..."},
    {2019, "Setting baud rate..."},
    {2020, "Configuration successfully read"},
    {2021, "Configuration(s) succesfully erased"},
    {2022, "Too many Configurations to report"},
    {3000, "Not connected"},
    {4000,
     "The application is set to run in special upgrade mode. Do you wish to continue in special upgrade "
     "mode (you will need to do a hard reset)?"},
    {10000, "Success"},
    {10001, "User cancelled upgrade"},
    {10002, "Configuration list too long"},
    {10011, "Serial port does not exist"},
    {10012, "Serial port in use by another application"},
    {10013, "Serial port in use by this application"},
    {10014, "Serial port timed out"},
    {10015, "Serial port (unspecified error)"},
    {10021, "Radio did not reset"},
    {10022, "Radio did not logon to upgrade mode"},
    {10023, "Radio did not complete"},
    {10024, "Radio type not supported"},
    {10025, "Radio hardware mismatch"},
    {10031, "User cancelled file selection"},
    {10032, "No file was selected"},
    {10033, "File does not exist"},
    {10034, "File format is not valid"},
    {10035, "User doesn't have permission to use this file"},
    {10036, "Required upgrade application file not found"},
    {10041, "Failed to create timer"},
    {10042, "Timer expired - no response received"},
    {10043, "Timer expired - data not received in time"},
    {10044, "Timer expired - exceeded maximum time"},
    {10051, "Radio returned an unknown error"},
    {10052, "Protocol - error in address"},
    {10053, "Protocol - error in data"},
    {10054, "Protocol - the data is not the correct length"},
    {10055, "Protocol - checksum error"},
    {10056, "Protocol - failed to set baud rate"},
    {10057, "Protocol - data expected but none returned"},
    {10058, "Protocol - number of retries exceeded"},
    {10059, "Protocol - unlock/erase flash block error"},
    {18001, "Parser - command not recognised"},
    {18002, "Parser - checksum error"},
    {18003, "Parser - intercharacter timeout"},
    {18101, "Response - unsupported baud rate"},
    {18102, "Response - configuration not found"},
    {18103, "Response - flash write protected"},
    {18104, "Response - flash locked"},
    {18105, "Response - flash not erased"},
    {18106, "Response - invalid flash address"},
    {18107, "Response - flash structure invalid"},
    {18108, "Response - data length invalid for command"},
    {18109, "Response - trying to write to the FLASH when the addess has not been specified"},
    {18110, "Response - network component ID not found"},
    {18111, "Response - memory device ID is invalid"},
    {18112, "Response - radio neck message operations for command exceeded specified timeouts"},
};

static_assert(std::ranges::is_sorted(kTable, {}, &std::pair<int, std::string_view>::first));

}  // namespace

std::string_view LoadResString(int id) {
    auto it = std::ranges::lower_bound(kTable, id, {}, &std::pair<int, std::string_view>::first);
    return it != std::end(kTable) && it->first == id ? it->second : std::string_view{};
}

}  // namespace kx6000
