#pragma once

#include <QPushButton>

// A push button that its underlined letter presses at once. Qt shows a button
// pressed by its letter held down for a tenth of a second before it reports
// the click, which is that long a wait before a message goes out; GTK
// programs act at once, and so does this.
class MnemonicButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    bool event(QEvent *event) override;
};
