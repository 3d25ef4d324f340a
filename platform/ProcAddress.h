#pragma once

#if defined(_WIN32)
#include <windows.h>

// A GetProcAddress result as the function pointer type F. The cast goes
// through void (*)(), which converts to and from every function type, so it
// draws no -Wcast-function-type warning.
template <typename F> F ProcAddressAs(FARPROC address) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(address));
}
#endif
