#pragma once

// Marks what a library exports: everything else stays hidden, as from a DLL.
#if defined(_WIN32)
#define UEYE_EXPORT_SYMBOL __declspec(dllexport)
#define UEYE_IMPORT_SYMBOL __declspec(dllimport)
#else
#define UEYE_EXPORT_SYMBOL __attribute__((visibility("default")))
#define UEYE_IMPORT_SYMBOL __attribute__((visibility("default")))
#endif

// The plug-in's own interface: exported while the plug-in is built (the build
// defines UEYE_GRABBER_BUILDING), imported by programs that include its headers.
#if defined(UEYE_GRABBER_BUILDING)
#define UEYE_EXPORT UEYE_EXPORT_SYMBOL
#else
#define UEYE_EXPORT UEYE_IMPORT_SYMBOL
#endif

// The simulated camera's interface: part of the plug-in outside Windows; on
// Windows it lives in the stand-in SDK library (built with UEYE_SIM_BUILDING).
#if !defined(_WIN32)
#define UEYE_SIM_EXPORT UEYE_EXPORT
#elif defined(UEYE_SIM_BUILDING)
#define UEYE_SIM_EXPORT UEYE_EXPORT_SYMBOL
#else
#define UEYE_SIM_EXPORT UEYE_IMPORT_SYMBOL
#endif
