#include "widgets/DialogTemplate.h"

#include "widgets/AccessibleControls.h"
#include "widgets/AltLetterGuard.h"
#include "widgets/MnemonicButton.h"
#include "widgets/PathLabel.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QEvent>
#include <QFontMetricsF>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <utility>

namespace {

QWidget *MakeControl(const ControlSpec &row, QDialog *dialog)
{
    const QString text = QString::fromUtf8(row.text ? row.text : "");
    switch (row.kind) {
    case ControlKind::GroupBox: {
        auto *box = new QGroupBox(text, dialog);
        box->setAttribute(Qt::WA_TransparentForMouseEvents);
        return box;
    }
    case ControlKind::Label: {
        auto *label = new QLabel(dialog);
        label->setTextFormat(Qt::PlainText);
        label->setText(text);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    case ControlKind::CheckBox:
        return new QCheckBox(text, dialog);
    case ControlKind::PushButton:
    case ControlKind::DefaultButton: {
        // A button that takes the keyboard becomes the default while it has
        // it, so Enter presses the button the user is on; in an edit or a
        // box, Enter is the dialog's own default again.
        auto *button = new MnemonicButton(text, dialog);
        button->setAutoDefault(true);
        button->setDefault(row.kind == ControlKind::DefaultButton);
        return button;
    }
    case ControlKind::LineEdit:
        return new QLineEdit(dialog);
    case ControlKind::PasswordEdit: {
        auto *edit = new QLineEdit(dialog);
        edit->setEchoMode(QLineEdit::Password);
        return edit;
    }
    case ControlKind::TextEdit: {
        auto *edit = new QPlainTextEdit(dialog);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setTabChangesFocus(true);
        return edit;
    }
    case ControlKind::Icon:
    case ControlKind::Picture: {
        auto *label = new QLabel(dialog);
        label->setPixmap(QPixmap(text));
        label->setScaledContents(true);
        if (row.kind == ControlKind::Picture)
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        return label;
    }
    case ControlKind::PathLabel: {
        auto *label = new PathLabel(dialog);
        label->setTextFormat(Qt::PlainText);
        return label;
    }
    case ControlKind::Separator: {
        auto *line = new QFrame(dialog);
        line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
        return line;
    }
    case ControlKind::Custom:
        return row.make ? row.make(dialog) : new QWidget(dialog);
    }
    return new QWidget(dialog);
}

// Every dialog opens in the middle of the screen. Only its first showing
// counts: a window shown again after a flag change stays where it is.
class CentreOnFirstShow : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            CentreOnScreen(static_cast<QWidget *>(watched));
            watched->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }
};

} // namespace

QFont DialogFont()
{
    QFont font = QApplication::font();
    font.setPointSizeF(8.0);
    return font;
}

QSizeF DialogUnitSize(const QFont &font)
{
    const QFontMetricsF metrics(font);
    const qreal average =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
    return {average / 4.0, metrics.height() / 8.0};
}

DialogControls BuildDialog(QDialog *dialog, const DialogTemplate &tpl)
{
    InstallAccessibleControls();
    const QFont font = DialogFont();
    dialog->setFont(font);
    dialog->setWindowTitle(QString::fromUtf8(tpl.caption));

    QSizeF unit = DialogUnitSize(font);
    if (const QScreen *screen = dialog->screen() ? dialog->screen() : QApplication::primaryScreen()) {
        // Never larger than the screen's free area: shrink the unit to fit.
        const QRect area = screen->availableGeometry();
        const qreal scale = std::min({1.0, area.width() * 0.98 / (tpl.widthUnits * unit.width()),
                                      area.height() * 0.92 / (tpl.heightUnits * unit.height())});
        unit *= scale;
    }
    auto toPixels = [unit](const QRect &u) {
        return QRect(qRound(u.x() * unit.width()), qRound(u.y() * unit.height()),
                     qRound(u.width() * unit.width()), qRound(u.height() * unit.height()));
    };

    const QSize dialogSize = toPixels(QRect(0, 0, tpl.widthUnits, tpl.heightUnits)).size();
    DialogControls controls;
    QList<std::pair<QWidget *, const ControlSpec *>> namers;
    for (const ControlSpec &row : tpl.controls) {
        QWidget *widget = MakeControl(row, dialog);
        if (!row.accessibleName.isEmpty())
            widget->setAccessibleName(row.accessibleName);
        if (row.names != kNoId)
            namers.append({widget, &row});
        widget->setGeometry(toPixels(row.units));
        // The desktop's font may be wider than the one the layout was drawn
        // for: a one-line check box grows to show its whole text, at most to
        // the dialog's edge.
        if (row.kind == ControlKind::CheckBox && widget->height() < 2 * widget->fontMetrics().height()) {
            const int room = dialogSize.width() - qRound(4 * unit.width()) - widget->x();
            const int wanted = std::min(widget->sizeHint().width(), room);
            if (wanted > widget->width())
                widget->resize(wanted, widget->height());
        }
        if (row.id != kNoId) {
            const auto named = std::find_if(tpl.names.begin(), tpl.names.end(),
                                            [&row](const ControlName &n) { return n.id == row.id; });
            if (named != tpl.names.end())
                widget->setObjectName(named->name);
            widget->setProperty(kControlIdProperty, row.id);
            controls.add(row.id, widget);
        }
        // Frames and labels sit behind the controls they surround.
        if (row.kind == ControlKind::GroupBox || row.kind == ControlKind::Label ||
            row.kind == ControlKind::Separator)
            widget->lower();
    }
    // Labels come anywhere in a template, before or after what they name.
    for (const auto &[widget, row] : namers) {
        QWidget *named = controls.widget(row->names);
        if (!named)
            continue;
        if (auto *label = qobject_cast<QLabel *>(widget))
            label->setBuddy(named);
        else
            named->setAccessibleName(QString::fromUtf8(row->text).remove(QLatin1Char('&')));
    }
    dialog->setFixedSize(dialogSize);
    dialog->installEventFilter(new CentreOnFirstShow(dialog));
    GuardAltLetters(dialog);
    return controls;
}

int ControlIdOf(const QWidget *control)
{
    const QVariant id = control->property(kControlIdProperty);
    return id.isValid() ? id.toInt() : kNoId;
}

void SetTabOrder(const DialogControls &controls, std::initializer_list<int> ids)
{
    QWidget *previous = nullptr;
    for (int id : ids) {
        QWidget *next = controls.widget(id);
        if (!next)
            continue;
        if (previous)
            QWidget::setTabOrder(previous, next);
        previous = next;
    }
}

void CentreOnScreen(QWidget *window)
{
    const QScreen *screen = window->screen() ? window->screen() : QApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize size = window->frameGeometry().size();
    window->move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}
