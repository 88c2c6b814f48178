#include "platform/WindowRegistry.h"

#include <QApplication>

#include <algorithm>

namespace plat::windows {
namespace {
struct Item {
    QPointer<QWidget> form;
    QString name;
};
std::vector<Item>& items() {
    static std::vector<Item> v;
    return v;
}
void prune() {
    auto& v = items();
    v.erase(std::remove_if(v.begin(), v.end(), [](const Item& i) { return i.form.isNull(); }), v.end());
}
} // namespace

void add(QWidget* form, const QString& formName) {
    prune();
    for (Item& i : items())
        if (i.form == form) {
            i.name = formName;
            return;
        }
    items().push_back({form, formName});
}

void remove(QWidget* form) {
    auto& v = items();
    v.erase(std::remove_if(v.begin(), v.end(), [form](const Item& i) { return i.form.isNull() || i.form == form; }),
            v.end());
}

std::vector<QWidget*> loaded() {
    prune();
    std::vector<QWidget*> out;
    for (const Item& i : items())
        out.push_back(i.form);
    return out;
}

std::vector<QWidget*> loadedNamed(const QString& formName) {
    prune();
    std::vector<QWidget*> out;
    for (const Item& i : items())
        if (i.name == formName)
            out.push_back(i.form);
    return out;
}

QString formName(const QWidget* form) {
    for (const Item& i : items())
        if (i.form == form)
            return i.name;
    return {};
}

bool topLevelTitled(const QString& title) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return false;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == title)
            return true;
    return false;
}

} // namespace plat::windows
