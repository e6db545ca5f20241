// <windows.h> for the tests that call the system themselves, without the macros that
// would rename the platform layer's own calls.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#undef DeleteFile  // platform::DeleteFile
