#pragma once

#include <QDialog>

// Control ids of the send-error dialog.
namespace SendErrorControl {
inline constexpr int kErrorIcon = 170;
} // namespace SendErrorControl

// Tells the user a send failed and what usually causes it. OK, Enter, Escape
// and the close box all end it.
class SendErrorDialog : public QDialog {
    Q_OBJECT
public:
    explicit SendErrorDialog(QWidget *owner = nullptr);
};
