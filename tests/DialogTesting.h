#pragma once

// Helpers for driving the real dialogs in tests.

#include "TestSupport.h"
#include "store/DataFiles.h"
#include "store/SafeFile.h"
#include "widgets/DialogTemplate.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

// The ways a user ends a dialog: "ok" (the button), "enter", "escape" and
// "close box".
inline void CloseDialogBy(QDialog &dialog, const QString &how)
{
    QWidget *target = dialog.focusWidget() ? dialog.focusWidget() : &dialog;
    if (how == QLatin1String("ok"))
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("okButton")), Qt::LeftButton);
    else if (how == QLatin1String("enter"))
        QTest::keyClick(target, Qt::Key_Return);
    else if (how == QLatin1String("escape"))
        QTest::keyClick(target, Qt::Key_Escape);
    else
        dialog.close();
}

// Calls act with the first visible D among owner's descendants once one is
// open, which is while its exec() runs. Gives up after ten seconds, so a
// dialog that never opens fails the test rather than hanging it.
template <class D, class Act>
void WhenOpen(QObject *owner, Act act)
{
    auto *timer = new QTimer(owner);
    const QDeadlineTimer deadline(10000);
    QObject::connect(timer, &QTimer::timeout, owner, [timer, owner, act, deadline]() mutable {
        for (D *found : owner->findChildren<D *>()) {
            if (found->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(found);
                return;
            }
        }
        if (deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

// The names of the controls a Tab press visits, in order.
inline QStringList TabOrderNames(QWidget *dialog)
{
    QStringList names;
    for (QWidget *w = dialog->nextInFocusChain(); w != dialog; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && ControlIdOf(w) != kNoId)
            names.append(w->objectName());
    }
    return names;
}

// The ids of the controls a Tab press visits, in order.
inline QList<int> TabOrderIds(QWidget *dialog)
{
    QList<int> ids;
    for (QWidget *w = dialog->nextInFocusChain(); w != dialog; w = w->nextInFocusChain()) {
        if (!(w->focusPolicy() & Qt::TabFocus) || ControlIdOf(w) == kNoId)
            continue;
        ids.append(ControlIdOf(w));
    }
    return ids;
}
