// The interface widl makes of KX6000Download.idl, with the system headers it stands on.
#pragma once

#include <windows.h>
// After windows.h, whose types they use.
#include <ocidl.h>
#include <ole2.h>
#include <olectl.h>
#undef SetPort  // the printer spooler's, which windows.h brings: here it is the component's member

#include "KX6000Download.h"
