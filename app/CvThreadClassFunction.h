#pragma once

#include "app/CvThread.h"

// Runs a member function of T, given the thread itself, as the thread body.
// The target is not owned and must outlive the thread.
template <class T>
class CvThreadClassFunction : public CvThread {
public:
    using Method = void (T::*)(CvThread*);
    CvThreadClassFunction(T* target, Method method) : m_target(target), m_method(method) {}
    // Joined here, before the members the body uses go away.
    ~CvThreadClassFunction() override { StopAndWait(); }

protected:
    void Run() override { (m_target->*m_method)(this); }

private:
    T* m_target;
    Method m_method;
};
