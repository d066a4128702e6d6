// KX6000Download.exe as the automation server: serving the one object of its process, and its registration
// for every user of the machine.
#pragma once

#include <string>

namespace kx6000::com {

// What the program's first argument asks of it; anything else opens the window.
enum class ServerTask { Window, Serve, Register, Unregister };
// "-Embedding" (COM starting the server), "/RegServer", "/UnregServer"; "/" or "-", any letter case.
ServerTask TaskOf(const std::string& argument);

// Serves clsDLManager to the one caller COM connects (a class of single use: each object has a process of
// its own). Ends when the object is released and its window is not open; gives the exit status.
int Serve();

// Writes or removes the class, its ProgIDs and the type library under HKLM\Software\Classes. Gives 0, or 1
// with the reason on stderr.
int Register();
int Unregister();

}  // namespace kx6000::com
