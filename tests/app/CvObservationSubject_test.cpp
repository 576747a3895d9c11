#include "app/CvObservationSubject.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class RecordingObserver : public CvObserver {
public:
    RecordingObserver(std::vector<int>& log, int id) : m_log(log), m_id(id) {}
    void Update(CvObservationSubject*) override { m_log.push_back(m_id); }

private:
    std::vector<int>& m_log;
    int m_id;
};

TEST(CvObservationSubject, NotifiesInAttachmentOrderIncludingDuplicates) {
    std::vector<int> log;
    RecordingObserver a(log, 1), b(log, 2);
    CvObservationSubject subject;
    subject.Notify();
    EXPECT_TRUE(log.empty());

    subject.Attach(&a);
    subject.Attach(&b);
    subject.Attach(&a);
    subject.Notify();
    EXPECT_EQ(log, (std::vector<int>{1, 2, 1}));
}

TEST(CvObservationSubject, DetachRemovesEveryEntryAndIgnoresStrangers) {
    std::vector<int> log;
    RecordingObserver a(log, 1), b(log, 2), stranger(log, 3);
    CvObservationSubject subject;
    subject.Attach(&a);
    subject.Attach(&b);
    subject.Attach(&a);
    subject.Detach(&stranger);
    subject.Detach(&a);
    subject.Notify();
    EXPECT_EQ(log, (std::vector<int>{2}));
}

// An observer that attaches another during Notify: the new one is reached in
// the same pass because the end of the list is read after every call.
class AttachingObserver : public CvObserver {
public:
    AttachingObserver(CvObserver* next, std::vector<int>& log) : m_next(next), m_log(log) {}
    void Update(CvObservationSubject* subject) override {
        m_log.push_back(0);
        if (m_next != nullptr) {
            subject->Attach(m_next);
            m_next = nullptr;
        }
    }

private:
    CvObserver* m_next;
    std::vector<int>& m_log;
};

TEST(CvObservationSubject, ObserverAttachedDuringNotifyIsReached) {
    std::vector<int> log;
    RecordingObserver late(log, 7);
    AttachingObserver first(&late, log);
    CvObservationSubject subject;
    subject.Attach(&first);
    subject.Notify();
    EXPECT_EQ(log, (std::vector<int>{0, 7}));
}

}  // namespace
