#pragma once

class CvObservationSubject;

// Receives Notify calls from the subjects it is attached to.
class CvObserver {
public:
    virtual ~CvObserver() = default;
    virtual void Update(CvObservationSubject* subject) = 0;
};
