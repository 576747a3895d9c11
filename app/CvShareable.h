#pragma once

#include "app/CvCriticalSection.h"

// Base of objects that several threads share. The derived class enters the
// lock around every access to its shared members.
class CvShareable {
public:
    CvShareable() = default;
    CvShareable(const CvShareable&) = delete;
    CvShareable& operator=(const CvShareable&) = delete;
    virtual ~CvShareable() = default;

    void Lock() { m_cs.Enter(); }
    void Unlock() { m_cs.Leave(); }

protected:
    CvCriticalSection m_cs;
};
