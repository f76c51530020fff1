#include "widgets/skClasses.h"

#include <QWidget>
#include <map>

#include "widgets/skErrors.h"

namespace {

std::map<std::string, const QMetaObject*>& Registry()
{
    static std::map<std::string, const QMetaObject*> registry;
    return registry;
}

} // namespace

void RegisterClass(const QMetaObject* metaObject)
{
    Registry()[metaObject->className()] = metaObject;
}

const QMetaObject* FindClass(const std::string& name)
{
    auto it = Registry().find(name);
    return it == Registry().end() ? nullptr : it->second;
}

const QMetaObject* GetClass(const std::string& name)
{
    if (const QMetaObject* mo = FindClass(name))
        return mo;
    throw EInvalidOperation("Class " + name + " not found");
}

std::vector<std::string> RegisteredClasses()
{
    std::vector<std::string> names;
    for (const auto& [name, mo] : Registry())
        names.push_back(name);
    return names;
}

QWidget* CreateControl(const QMetaObject* metaObject, QWidget* parent)
{
    QObject* object = metaObject->newInstance(Q_ARG(QWidget*, parent));
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) {
        delete object;
        throw EInvalidOperation(std::string("Cannot create a control of class ") + metaObject->className());
    }
    return widget;
}
