#include "app/CvObservationSubject.h"

#include <algorithm>

void CvObservationSubject::Attach(CvObserver* observer) {
    m_observers.push_back(observer);
}

void CvObservationSubject::Detach(CvObserver* observer) {
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer),
                      m_observers.end());
}

void CvObservationSubject::Notify() {
    // Index, not iterator: an observer may attach or detach during the call.
    for (size_t i = 0; i < m_observers.size(); ++i) {
        m_observers[i]->Update(this);
    }
}
