// The identifiers of the class, its interfaces and its type library, defined once for the program.
#include <windows.h>
// After windows.h, whose types they use.
#include <ocidl.h>
#include <ole2.h>
// Makes the identifiers the interface's header names definitions here.
#include <initguid.h>

#include "automation/com/Interface.h"
