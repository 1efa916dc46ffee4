#include "widgets/AltLetterGuard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace {

constexpr char kGuardedProperty[] = "altLettersGuarded";

// Sees a key press only after Qt has offered it to the window's underlined
// letters: one that arrives here was taken by no enabled control. Watches the
// whole program, since the key goes to whichever child has the keyboard.
class AltLetterFilter : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        const auto *key = static_cast<const QKeyEvent *>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
        if (mods != Qt::AltModifier)
            return false;
        const QString text = key->text();
        if (text.isEmpty() || !text.at(0).isPrint())
            return false;
        const QWidget *window = static_cast<QWidget *>(watched)->window();
        if (!window || !window->property(kGuardedProperty).toBool())
            return false;
        QApplication::beep();
        return true;
    }
};

} // namespace

void GuardAltLetters(QWidget *window)
{
    static AltLetterFilter *const filter = [] {
        auto *f = new AltLetterFilter(qApp);
        qApp->installEventFilter(f);
        return f;
    }();
    (void)filter;
    window->setProperty(kGuardedProperty, true);
}
