#pragma once

#include <vector>

#include "app/CvObserver.h"

// Keeps observers (not owned) in attachment order; an observer may be attached
// more than once. Used on one thread only: there is no lock.
class CvObservationSubject {
public:
    CvObservationSubject() = default;
    CvObservationSubject(const CvObservationSubject&) = delete;
    CvObservationSubject& operator=(const CvObservationSubject&) = delete;
    virtual ~CvObservationSubject() = default;

    virtual void Attach(CvObserver* observer);
    // Removes every entry equal to `observer`, keeping the others in order.
    virtual void Detach(CvObserver* observer);
    // Calls Update on each entry, first to last. The list end is read again
    // after every call, so observers attached during Notify are reached too.
    virtual void Notify();

private:
    std::vector<CvObserver*> m_observers;
};
