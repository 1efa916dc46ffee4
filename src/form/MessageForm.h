#pragma once

#include "dialogs/DialogTemplate.h"
#include "form/FormSnapshot.h"

#include <QDialog>

struct AppState;
class QCheckBox;

// The window in which a message is taken: who it is for, who called, what
// they said, a few standard phrases and an optional file. Send renders the
// message, asks for it to be delivered and clears the form for the next
// caller; the delivery itself belongs to whoever listens to sendRequested.
//
// Run it with exec(): it ends with kClosed (Close, Escape, the close box) or
// kSentAndClosed (Send with auto close), and sets state.formOpen to 0 when it
// ends. Each opening starts afresh from the stored settings.
class MessageForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int kClosed = 2;
    static constexpr int kSentAndClosed = 1000;
    static constexpr int kMessageEditLimit = 200000;

    explicit MessageForm(AppState &state, QWidget *owner = nullptr);

    // A send that failed: puts the message back as it was sent (fields, ticks,
    // attachment) so that nothing has to be typed again, and enables Send.
    void restore(const FormSnapshot &sent);

    void setVisible(bool visible) override;

signals:
    // Rendering succeeded and state.message holds the mail; emitted before the
    // form clears itself. Connect it queued: the mail goes out after Send's
    // handler has returned.
    void sendRequested(const FormSnapshot &sent);
    void editRecipientsRequested();
    void setupRequested();
    void aboutRequested();
    void helpRequested();

public slots:
    void clockTick();
    void recipientsChanged();
    void customMessagesChanged();

    // Close, Escape and the close box: keep the two option boxes and end.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    template <class T>
    T *control(int id) const { return m_controls.get<T>(id); }
    QCheckBox *recipientBox(int index) const;

    void send();
    void attachOrDetach();
    void showAttachment(bool attached, const QString &path, const QString &name);
    void selectAllToggled(bool checked);
    void keepOnTopToggled(bool checked);
    void applyKeepOnTop(bool onTop);
    void updateSendButton();
    void labelRecipients();
    void storeOptions();
    void endForm(int result);
    FormSnapshot snapshot() const;

    AppState &m_state;
    DialogControls m_controls;
    bool m_changingWindowFlags = false;
};
