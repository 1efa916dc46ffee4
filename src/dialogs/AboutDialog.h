#pragma once

#include <QDialog>

// Control ids of About.
namespace AboutControl {
inline constexpr int kProgramIcon = 2;
inline constexpr int kLink = 3015;
} // namespace AboutControl

// The program's name and version, its maker, and a link to the product's web
// site. OK, Enter, Escape, the close box and a click on the program icon
// close it.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget *owner);
};
