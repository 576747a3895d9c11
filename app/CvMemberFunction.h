#pragma once

#include "app/CvFunction.h"

// Plain member-function bindings: a target object (not owned) and one of its
// member functions. They are values that the target's owner embeds as
// members; they live as long as that owner and have no lock, so the member
// function they reach must be safe to call from the firing thread.

template <class T, class R>
class CvNullaryMemberFunction : public CvNullaryFunction<R> {
public:
    using Method = R (T::*)();
    CvNullaryMemberFunction(T* target = nullptr, Method method = nullptr)
        : m_target(target), m_method(method) {}
    virtual ~CvNullaryMemberFunction() = default;

    R Invoke() override { return (m_target->*m_method)(); }

private:
    T* m_target;
    Method m_method;
};

template <class T, class R, class A>
class CvUnaryMemberFunction : public CvUnaryFunction<R, A> {
public:
    using Method = R (T::*)(A);
    CvUnaryMemberFunction(T* target = nullptr, Method method = nullptr)
        : m_target(target), m_method(method) {}
    virtual ~CvUnaryMemberFunction() = default;

    R Invoke(A a) override { return (m_target->*m_method)(static_cast<A>(a)); }

private:
    T* m_target;
    Method m_method;
};

template <class T, class R, class A1, class A2>
class CvBinaryMemberFunction : public CvBinaryFunction<R, A1, A2> {
public:
    using Method = R (T::*)(A1, A2);
    CvBinaryMemberFunction(T* target = nullptr, Method method = nullptr)
        : m_target(target), m_method(method) {}
    virtual ~CvBinaryMemberFunction() = default;

    R Invoke(A1 a1, A2 a2) override {
        return (m_target->*m_method)(static_cast<A1>(a1), static_cast<A2>(a2));
    }

private:
    T* m_target;
    Method m_method;
};

template <class T>
class CvVoidNullaryMemberFunction : public CvNullaryMemberFunction<T, void> {
public:
    using CvNullaryMemberFunction<T, void>::CvNullaryMemberFunction;
};

template <class T, class A>
class CvVoidUnaryMemberFunction : public CvUnaryMemberFunction<T, void, A> {
public:
    using CvUnaryMemberFunction<T, void, A>::CvUnaryMemberFunction;
};

template <class T, class A1, class A2>
class CvVoidBinaryMemberFunction : public CvBinaryMemberFunction<T, void, A1, A2> {
public:
    using CvBinaryMemberFunction<T, void, A1, A2>::CvBinaryMemberFunction;
};

template <class T, class R>
class CvTypedNullaryMemberFunction : public CvNullaryMemberFunction<T, R> {
public:
    using CvNullaryMemberFunction<T, R>::CvNullaryMemberFunction;
};
