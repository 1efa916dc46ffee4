#include "app/MessageBoxMessages.h"

#include <QMessageBox>

void MessageBoxMessages::show(const QString &caption, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
    box.exec();
}
