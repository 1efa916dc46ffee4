#pragma once

#include <QFont>
#include <QHash>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <initializer_list>
#include <span>

class QDialog;

// Every dialog is a table of its controls in template order (which is also
// the tab order), turned into widgets by BuildDialog. Positions are in dialog
// units, converted from the dialog font's metrics, so dialogs keep their
// proportions whatever the desktop's font.
enum class ControlKind {
    GroupBox,
    Label,          // static text; "&" is shown as written
    CheckBox,       // also multi-line check boxes: the text wraps
    PushButton,     // Enter presses it while it has the keyboard
    DefaultButton,  // the button Enter presses elsewhere
    LineEdit,
    PasswordEdit,
    TextEdit,       // multi-line plain text, vertical scroll bar
    Icon,           // picture scaled into the rectangle; text = resource path
    Picture,        // picture with a sunken frame; text = resource path
    PathLabel,      // a file name, shortened with an ellipsis in the middle
    Separator,      // a sunken horizontal line
    Custom,         // made by ControlSpec::make
};

inline constexpr int kNoId = -1;

struct ControlSpec {
    int id;
    ControlKind kind;
    const char *text;
    QRect units; // x, y, width, height in dialog units
    // The control this row's text names for screen readers: a label becomes
    // its buddy, a group box gives it its caption. kNoId: none.
    int names = kNoId;
    // What screen readers call a control that shows no text of its own: a
    // picture, a custom control, one edit among many alike.
    QString accessibleName = {};
    std::function<QWidget *(QWidget *parent)> make = {};
};

struct DialogTemplate {
    const char *caption;
    int widthUnits;
    int heightUnits;
    std::span<const ControlSpec> controls;
};

// The font dialogs are laid out in: the desktop's UI family at 8 points.
QFont DialogFont();

// Pixels per dialog unit across and down for a font: a unit across is a
// quarter of the average width of "A".."Z" and "a".."z", a unit down an eighth
// of the line height.
QSizeF DialogUnitSize(const QFont &font);

// The widgets of one built dialog, by control id.
class DialogControls {
public:
    void add(int id, QWidget *widget) { m_byId.insert(id, widget); }
    QWidget *widget(int id) const { return m_byId.value(id); }
    template <class T>
    T *get(int id) const { return qobject_cast<T *>(m_byId.value(id)); }

private:
    QHash<int, QWidget *> m_byId;
};

// Creates the dialog's controls as children of dialog, sizes the dialog, and
// gives each control the object name "control<id>" so code and tests find it
// by id. The dialog is scaled down when it would not fit the screen, and is
// centred on the screen when it is first shown.
DialogControls BuildDialog(QDialog *dialog, const DialogTemplate &tpl);

// Finds the control of a built dialog by its id.
template <class T>
T *ControlById(const QWidget *dialog, int id)
{
    return dialog->findChild<T *>(QStringLiteral("control%1").arg(id));
}

// Where the tab order differs from template order.
void SetTabOrder(const DialogControls &controls, std::initializer_list<int> ids);

// Moves a window to the middle of its screen: ((screen width - width) / 2,
// (screen height - height) / 2), size unchanged.
void CentreOnScreen(QWidget *window);
