#pragma once

// Unnamed manual-reset (or auto-reset) kernel events. On Windows these are the
// system calls; elsewhere events live in a process-wide handle table, so that
// a handle that was closed is simply invalid (calls on it fail) instead of
// pointing at released memory, as with kernel handles.
#if defined(_WIN32)
#include <windows.h>
#else
#include "platform/Export.h"
#include "platform/WinTypes.h"

typedef void* HANDLE;
typedef int BOOL;
typedef void* LPSECURITY_ATTRIBUTES;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define WAIT_OBJECT_0 0x00000000UL
#define WAIT_TIMEOUT 0x00000102UL
#define WAIT_FAILED 0xFFFFFFFFUL
#define INFINITE 0xFFFFFFFFUL

// Named events are not supported: a non-null name yields a null handle.
UEYE_EXPORT HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset,
                                BOOL initialState, const char* name);
UEYE_EXPORT BOOL SetEvent(HANDLE event);
UEYE_EXPORT BOOL ResetEvent(HANDLE event);
// WAIT_OBJECT_0 when signalled, WAIT_TIMEOUT after the time-out, WAIT_FAILED
// for a handle that is not an open event.
UEYE_EXPORT DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds);
UEYE_EXPORT BOOL CloseHandle(HANDLE event);
#endif
