#pragma once

#include "dialogs/DialogTemplate.h"

#include <QDialog>

struct AppState;
class QCheckBox;
class QLineEdit;

// The SMTP server, its credentials, the sender and the mail options. It edits
// state.settings and the autostart entry, and saves whenever it closes: OK,
// Enter, Escape and the close box alike. While it is open the clear password
// is in state.passwordScratch; it is all zero again once the dialog closes.
class SetupDialog : public QDialog {
    Q_OBJECT
public:
    SetupDialog(AppState &state, QWidget *owner);
    ~SetupDialog() override;

    void done(int result) override;

signals:
    // The custom phrases were saved from the dialog this one opened.
    void customMessagesChanged();

private:
    void setAuthenticationEditsEnabled(bool enabled);
    void runCustomMessages();
    void storeAndSave();

    QLineEdit *edit(int id) const;
    QCheckBox *box(int id) const;

    AppState &m_state;
    DialogControls m_controls;
};
