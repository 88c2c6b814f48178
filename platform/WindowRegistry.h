#pragma once
#include <QPointer>
#include <QString>
#include <QWidget>

#include <vector>

// The loaded forms of a program in load order, with their form names ("frmMain", "frmDMA", ...): the
// stand-in for walking the forms collection and for asking whether a top-level window of a title exists.
namespace plat::windows {

void add(QWidget* form, const QString& formName);
void remove(QWidget* form);
// Live forms in load order (destroyed ones drop out by themselves).
std::vector<QWidget*> loaded();
std::vector<QWidget*> loadedNamed(const QString& formName);
QString formName(const QWidget* form);
// True while a top-level window (shown or not) of exactly this title exists in the program.
bool topLevelTitled(const QString& title);

} // namespace plat::windows
