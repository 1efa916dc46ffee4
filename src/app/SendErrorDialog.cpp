#include "app/SendErrorDialog.h"

#include "widgets/DialogTemplate.h"

#include <QPushButton>

namespace {

const ControlSpec kControls[] = {
    {kOkButton, ControlKind::DefaultButton, "&OK", {65, 103, 50, 14}},
    {kNoId, ControlKind::Label, "An error occurred during the last message send. Check settings.", {39, 10, 115, 19}},
    {kNoId, ControlKind::Label,
     "Note that some mail servers reject large attachments (e.g. over 10 MB).\n\n"
     "Too many recepients may also cause a send error.",
     {7, 37, 168, 39}},
    {SendErrorControl::kErrorIcon, ControlKind::Icon, ":/icons/error.png", {5, 6, 21, 20}},
    {kNoId, ControlKind::Label, "Check all email addresses are correct, including any caller CC address typed in.",
     {7, 79, 144, 16}},
};

const ControlName kNames[] = {
    {kOkButton, "okButton"},
    {SendErrorControl::kErrorIcon, "errorIcon"},
};

const DialogTemplate kTemplate{"Quorvane Send Error", 182, 126, kControls, kNames};

} // namespace

SendErrorDialog::SendErrorDialog(QWidget *owner) : QDialog(owner)
{
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    const DialogControls controls = BuildDialog(this, kTemplate);
    connect(controls.get<QPushButton>(kOkButton), &QPushButton::clicked, this, &QDialog::accept);
}

