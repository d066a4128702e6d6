// KX6000Download.exe as the automation server: serving the one object of its process, and its registration
// for every user of the machine.
#pragma once

#include <string>
#include <vector>

namespace kx6000::com {

// What the program's first argument asks of it; anything else opens the window.
enum class ServerTask { Window, Serve, Register, Unregister };
// "-Embedding" (COM starting the server), "/RegServer", "/UnregServer"; "/" or "-", any letter case.
ServerTask TaskOf(const std::string& argument);
// "/s" among the arguments after the first, written as the task is: no message box.
bool Quiet(const std::vector<std::string>& arguments);

// Serves clsDLManager to the one caller COM connects (a class of single use: each object has a process of
// its own). Ends when the object is released and its window is not open; gives the exit status.
int Serve();

// What registering or unregistering came to: code 0, or the failure's HRESULT and its reason.
struct Outcome {
    long code = 0;
    std::string reason;
};

// Writes or removes the class, its ProgIDs and the type library under HKLM\Software\Classes; a failure is
// said on stderr as well.
Outcome Register();
Outcome Unregister();

// Registers or unregisters (`task`) and, unless `quiet`, says the outcome in a message box, as regsvr32
// does: a program without a console has no other place to say it. Gives the exit status: 0 or the code.
int Registration(ServerTask task, bool quiet);

}  // namespace kx6000::com
