#pragma once
// The library's class registry: control classes found by name, as a form
// file or a button group names them, and created through Qt's meta-objects
// (each registered class has an invokable constructor taking the parent).
#include <QMetaObject>
#include <string>
#include <vector>

class QWidget;

void RegisterClass(const QMetaObject* metaObject);
// nullptr when no class of that name was registered.
const QMetaObject* FindClass(const std::string& name);
// Raises EInvalidOperation for an unknown name.
const QMetaObject* GetClass(const std::string& name);
// The names of all registered classes, sorted.
std::vector<std::string> RegisteredClasses();
// A new control of the class, child of parent.
QWidget* CreateControl(const QMetaObject* metaObject, QWidget* parent);
