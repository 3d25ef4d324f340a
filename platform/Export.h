#pragma once

// Marks what the plug-in exports: everything else stays hidden, as from a DLL.
#if defined(_WIN32)
#define UEYE_EXPORT __declspec(dllexport)
#else
#define UEYE_EXPORT __attribute__((visibility("default")))
#endif
