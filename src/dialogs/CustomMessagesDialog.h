#pragma once

#include "widgets/DialogTemplate.h"

#include <QDialog>

struct StoredData;

// Control ids of Custom Messages.
namespace CustomMessagesControl {
inline constexpr int kMessage1Text = 3018;
inline constexpr int kMessage2Text = 3019;
inline constexpr int kMessage1Enabled = 3020;
inline constexpr int kMessage2Enabled = 3021;
} // namespace CustomMessagesControl
class QCheckBox;
class QLineEdit;

// Switches the two custom phrases of the message form on and off and edits
// their texts. Saves whenever it closes (OK, Enter, Escape, the close box),
// then tells the form to show the new phrases.
class CustomMessagesDialog : public QDialog {
    Q_OBJECT
public:
    CustomMessagesDialog(StoredData &data, QWidget *owner);

    void done(int result) override;

signals:
    // Emitted after the phrases have been saved.
    void customMessagesChanged();

private:
    void storeAndSave();

    StoredData &m_data;
    DialogControls m_controls;
};
