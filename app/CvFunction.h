#pragma once

// The three function-object interfaces, one per arity. The firing side holds a
// pointer to the interface and never deletes it: plain bindings belong to the
// owner of their target (see CvMemberFunction.h); Safe bindings are shared
// through std::shared_ptr (see CvMemberFunctionSafe.h).

template <class R>
class CvNullaryFunction {
public:
    virtual R Invoke() = 0;
    virtual R operator()() { return Invoke(); }

protected:
    ~CvNullaryFunction() = default;
};

template <class R, class A>
class CvUnaryFunction {
public:
    virtual R Invoke(A a) = 0;
    virtual R operator()(A a) { return Invoke(static_cast<A>(a)); }

protected:
    ~CvUnaryFunction() = default;
};

template <class R, class A1, class A2>
class CvBinaryFunction {
public:
    virtual R Invoke(A1 a1, A2 a2) = 0;
    virtual R operator()(A1 a1, A2 a2) {
        return Invoke(static_cast<A1>(a1), static_cast<A2>(a2));
    }

protected:
    ~CvBinaryFunction() = default;
};
