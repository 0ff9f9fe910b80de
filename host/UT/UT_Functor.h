// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <functional>
#include <utility>

// Callable wrappers as the host spells them, on std::function.
template <typename R, typename A>
class UT_Functor1
{
public:
    UT_Functor1() = default;
    template <typename F>
    UT_Functor1(F f) : myFunc(std::move(f)) {}
    R operator()(A a) const { return myFunc(std::forward<A>(a)); }
    explicit operator bool() const { return bool(myFunc); }

private:
    std::function<R(A)> myFunc;
};

template <typename R, typename A1, typename A2>
class UT_Functor2
{
public:
    UT_Functor2() = default;
    template <typename C>
    UT_Functor2(C *object, R (C::*method)(A1, A2))
        : myFunc([object, method](A1 a1, A2 a2) { return (object->*method)(std::forward<A1>(a1), std::forward<A2>(a2)); }) {}
    template <typename F>
    UT_Functor2(F f) : myFunc(std::move(f)) {}
    R operator()(A1 a1, A2 a2) const { return myFunc(std::forward<A1>(a1), std::forward<A2>(a2)); }

private:
    std::function<R(A1, A2)> myFunc;
};

// Binds the first argument (by value) of a two-argument functor.
template <typename R, typename A1, typename A2, typename V>
UT_Functor1<R, A2> UT_BindFirst1(const UT_Functor2<R, A1, A2> &f, const V &first)
{
    typedef typename std::decay<A1>::type Stored;
    return UT_Functor1<R, A2>([f, bound = Stored(first)](A2 a2) { return f(bound, std::forward<A2>(a2)); });
}
