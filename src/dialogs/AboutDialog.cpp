#include "dialogs/AboutDialog.h"

#include "dialogs/ClickableIcon.h"
#include "dialogs/DialogTemplate.h"
#include "dialogs/HyperLink.h"

#include <QPixmap>
#include <QPushButton>

namespace {

enum : int {
    kProgramIcon = 2,
    kLink = 3015,
};

const ControlSpec kControls[] = {
    {kProgramIcon, ControlKind::Custom, "", {3, 3, 20, 20}, kNoId, "Quorvane", [](QWidget *parent) -> QWidget * {
         return new ClickableIcon(QPixmap(QStringLiteral(":/icons/quorvane-48.png")), parent);
     }},
    {kNoId, ControlKind::Label, "Quorvane Version 2.6", {86, 8, 102, 8}},
    {kNoId, ControlKind::Label, "\xC2\xA9 Lumarc Software. All rights reserved.", {16, 79, 138, 11}},
    {1, ControlKind::DefaultButton, "&OK", {106, 108, 61, 14}},
    {kNoId, ControlKind::GroupBox, "", {11, 71, 199, 22}},
    {kNoId, ControlKind::Label, "Visit us at:", {15, 56, 37, 11}},
    {kLink, ControlKind::Custom, "", {54, 54, 147, 13}, kNoId, {}, [](QWidget *parent) -> QWidget * {
         return new HyperLink(parent);
     }},
    {kNoId, ControlKind::GroupBox, "A desktop productivity application from Lumarc Software", {5, 37, 263, 66}},
    {kNoId, ControlKind::Picture, ":/pictures/lumarc-logo.png", {216, 50, 44, 41}, kNoId, "Lumarc Software"},
};

const DialogTemplate kTemplate{"About Quorvane", 274, 126, kControls};

} // namespace

AboutDialog::AboutDialog(QWidget *owner) : QDialog(owner)
{
    const DialogControls controls = BuildDialog(this, kTemplate);
    connect(controls.get<QPushButton>(1), &QPushButton::clicked, this, &QDialog::accept);
    // The icon closes the dialog as Escape does.
    connect(controls.get<ClickableIcon>(kProgramIcon), &ClickableIcon::clicked, this, &QDialog::reject);
}

