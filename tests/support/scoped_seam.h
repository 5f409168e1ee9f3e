// Puts a test's stand-in into a seam of the code for the scope's life, then puts back what
// was there before, and checks that its own stand-in was still the one in place: a test
// that swapped the seam again, or forgot to restore it, is told.
#pragma once

#include <gtest/gtest.h>

#include <functional>

template <class T>
class ScopedSeam {
public:
    // set puts a value in place and returns the one it replaces.
    ScopedSeam(std::function<T(T)> set, T standIn)
        : m_set(std::move(set)), m_standIn(standIn), m_previous(m_set(standIn)) {}
    ~ScopedSeam() {
        const T replaced = m_set(m_previous);
        EXPECT_EQ(replaced, m_standIn) << "the seam was changed behind this scope's back";
    }
    ScopedSeam(const ScopedSeam&) = delete;
    ScopedSeam& operator=(const ScopedSeam&) = delete;

private:
    std::function<T(T)> m_set;
    T m_standIn;
    T m_previous;
};
