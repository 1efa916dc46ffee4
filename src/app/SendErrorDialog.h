#pragma once

#include <QDialog>
#include <QString>

// Tells the user a send failed and what usually causes it, and, when it is
// known, what went wrong this time (an address that cannot be used, the
// server's answer). OK, Enter, Escape and the close box all end it.
class SendErrorDialog : public QDialog {
    Q_OBJECT
public:
    explicit SendErrorDialog(QWidget *owner = nullptr, const QString &detail = {});
};
