#pragma once

// The plug-in's three exported entry points (MakeGrabber, DeleteGrabber,
// GrabberApiVersion), their function types for hosts that resolve them by
// name, and the interface version text.

#include "grabber/FrameGrabber.h"
#include "platform/Export.h"

#include <cstdint>
#include <string>

// The interface version text that GrabberApiVersion returns; a host checks
// it to refuse a library of another interface.
#define GRABBER_API_VERSION "FrameGrabber $Revision: 1.26 $"

// The plug-in's entry points, exported under their plain names. The host
// resolves them by name after loading the library.
extern "C" {

// Creates a grabber whose parameter file is "<working directory>\<name>",
// with ".ini" appended when the path holds no ".ini". Null when the working
// directory cannot be read or no object can be allocated.
UEYE_EXPORT FrameGrabber* MakeGrabber(uint32_t camera, const std::string& name);

// Destroys a grabber made by MakeGrabber; null is ignored. Always 0.
UEYE_EXPORT int32_t DeleteGrabber(FrameGrabber* grabber);

// The revision text of the grabber interface; the same pointer on every call.
UEYE_EXPORT const char* GrabberApiVersion();
}

// Entry point types, for hosts that resolve them at run time.
typedef FrameGrabber* (*MakeGrabberFunction)(uint32_t, const std::string&);
typedef int32_t (*DeleteGrabberFunction)(FrameGrabber*);
typedef const char* (*GrabberApiVersionFunction)();
