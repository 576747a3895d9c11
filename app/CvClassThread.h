#pragma once

#include "app/CvThread.h"

// The same as CvThreadClassFunction<T>; the contact list and tray icon
// services use this name.
template <class T>
class CvClassThread : public CvThread {
public:
    using Method = void (T::*)(CvThread*);
    CvClassThread(T* target, Method method) : m_target(target), m_method(method) {}
    ~CvClassThread() override { StopAndWait(); }

protected:
    void Run() override { (m_target->*m_method)(this); }

private:
    T* m_target;
    Method m_method;
};
