#pragma once
// Tests find the dialogs' components by their documented object names.
#include <QObject>
#include <gtest/gtest.h>

template <class T>
T* Child(QObject* parent, const char* name)
{
    T* w = parent->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
}
