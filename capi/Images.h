// The image objects behind ueye_image handles, shared by the image calls and
// the grabber call that grabs into an image.
#pragma once

#include "capi/Handles.h"
#include "image/CxImage.h"

namespace capi {

struct ImageObject {
    boost::mutex lock; // one call at a time on the image
    CxImage image;
};

inline Registry<ImageObject>& Images() {
    return Registry<ImageObject>::Instance();
}

} // namespace capi
