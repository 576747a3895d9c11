#pragma once

#include <type_traits>

#include "app/CvFunction.h"
#include "app/CvReadWriteLock.h"

// A unary function object whose target can be cut off while other threads may
// be calling it. Hold it by std::shared_ptr: the firing side and the target's
// owner each keep a reference.
template <class R, class A>
class CvUnaryFunctionSafe : public CvUnaryFunction<R, A> {
public:
    virtual ~CvUnaryFunctionSafe() = default;
};

template <class T, class R, class A>
class CvUnaryMemberFunctionSafe : public CvUnaryFunctionSafe<R, A> {
public:
    using Method = R (T::*)(A);
    CvUnaryMemberFunctionSafe(T* target = nullptr, Method method = nullptr)
        : m_target(target), m_method(method) {}

    // Calls run in shared mode, so several may run at once. A bound call must
    // not Bind or Unbind this same object: it would wait for itself.
    R Invoke(A a) override {
        m_lock.LockShared();
        struct Unlocker {
            CvReadWriteLock& lock;
            ~Unlocker() { lock.Unlock(); }
        } unlocker{m_lock};
        if (m_target != nullptr && m_method != nullptr) {
            return (m_target->*m_method)(static_cast<A>(a));
        }
        if constexpr (!std::is_void_v<R>) {
            return R{};
        }
    }

    void Bind(T* target, Method method) {
        m_lock.LockExclusive();
        m_target = target;
        m_method = method;
        m_lock.Unlock();
    }

    // Waits for calls in progress; afterwards no call reaches the old target.
    void Unbind() { Bind(nullptr, nullptr); }

private:
    CvReadWriteLock m_lock;
    T* m_target;
    Method m_method;
};

template <class T, class A>
class CvVoidUnaryMemberFunctionSafe : public CvUnaryMemberFunctionSafe<T, void, A> {
public:
    using CvUnaryMemberFunctionSafe<T, void, A>::CvUnaryMemberFunctionSafe;
};
