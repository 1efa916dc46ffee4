#include "widgets/MnemonicButton.h"

#include <QShortcutEvent>

bool MnemonicButton::event(QEvent *event)
{
    if (event->type() == QEvent::Shortcut) {
        const auto *shortcut = static_cast<QShortcutEvent *>(event);
        // A letter two controls share moves the keyboard between them
        // instead, as Qt does it.
        if (!shortcut->isAmbiguous() && shortcut->key() == this->shortcut()) {
            if (isEnabled())
                click();
            return true;
        }
    }
    return QPushButton::event(event);
}
