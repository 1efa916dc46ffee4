#pragma once

#include <QDialog>

// Tells the user a send failed and what usually causes it. OK, Enter, Escape
// and the close box all end it.
class SendErrorDialog : public QDialog {
    Q_OBJECT
public:
    explicit SendErrorDialog(QWidget *owner = nullptr);
};
