// FrameGrabber's own members: construction, copying and destruction of the
// state every grabber shares.

#include "grabber/FrameGrabber.h"

FrameGrabber::FrameGrabber()
    : m_spare1(0), m_live(false), m_open(false), m_spare2(2), m_spareFlag(false) {}

FrameGrabber::FrameGrabber(const FrameGrabber& other)
    : m_spare1(other.m_spare1), m_live(other.m_live), m_open(other.m_open.load()),
      m_parameterFile(other.m_parameterFile), m_spare2(other.m_spare2),
      m_spareFlag(other.m_spareFlag) {}

FrameGrabber& FrameGrabber::operator=(const FrameGrabber& other) {
    m_spare1 = other.m_spare1;
    m_live = other.m_live;
    m_open = other.m_open.load();
    m_parameterFile = other.m_parameterFile;
    m_spare2 = other.m_spare2;
    m_spareFlag = other.m_spareFlag;
    return *this;
}

FrameGrabber::~FrameGrabber() {
    m_live = false;
    m_open = false;
}
