#include "dialogs/CustomMessagesDialog.h"

#include "app/AppState.h"
#include "dialogs/SamplePreview.h"
#include "store/DataFiles.h"
#include "store/TextField.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

enum : int {
    kMessage1Text = 3018,
    kMessage2Text = 3019,
    kMessage1Enabled = 3020,
    kMessage2Enabled = 3021,
};

const ControlSpec kControls[] = {
    {kMessage1Enabled, ControlKind::CheckBox, "Add custom message item", {14, 39, 122, 10}},
    {kMessage1Text, ControlKind::LineEdit, "", {51, 67, 90, 14}},
    {kMessage2Enabled, ControlKind::CheckBox, "Add custom message item. Use this one for longer message text.",
     {14, 104, 222, 10}},
    {kMessage2Text, ControlKind::LineEdit, "", {51, 136, 175, 14}},
    {1, ControlKind::DefaultButton, "&OK", {241, 136, 50, 14}},
    {kNoId, ControlKind::Label, "Message:", {14, 69, 35, 8}, kMessage1Text},
    {kNoId, ControlKind::Label, "Two additional custom messages may be added to the standard Quorvane checkboxes.",
     {14, 7, 208, 17}},
    {kNoId, ControlKind::Label, "Message:", {14, 137, 36, 8}, kMessage2Text},
    {kNoId, ControlKind::Label, "Example:   Will FAX documents", {14, 53, 104, 9}},
    {kNoId, ControlKind::Label, "Example:   Have booked a meeting for you in conference room", {14, 120, 210, 8}},
    {kNoId, ControlKind::Custom, "", {166, 54, 125, 38}, kNoId, "Sample Preview", [](QWidget *parent) -> QWidget * {
         return new SamplePreview(parent);
     }},
    {kNoId, ControlKind::Label, "Sample Preview", {205, 41, 70, 8}},
    {kNoId, ControlKind::Separator, "", {14, 29, 280, 1}},
    {kNoId, ControlKind::Icon, ":/icons/quorvane-32.png", {265, 2, 20, 20}, kNoId, "Quorvane"},
};

const DialogTemplate kTemplate{"Custom Messages", 301, 158, kControls};

// One phrase: its box enables its edit, and ticking it puts the caret there.
void WirePhrase(const DialogControls &controls, int boxId, int editId, std::int32_t enabled)
{
    auto *box = controls.get<QCheckBox>(boxId);
    auto *edit = controls.get<QLineEdit>(editId);
    box->setChecked(enabled == 1);
    edit->setEnabled(enabled == 1);
    QObject::connect(box, &QCheckBox::toggled, edit, [edit](bool ticked) {
        edit->setEnabled(ticked);
        if (ticked)
            edit->setFocus();
    });
}

// A phrase switched off keeps the text it had; what was typed since is dropped.
template <std::size_t N>
void StorePhrase(const DialogControls &controls, int boxId, int editId, std::int32_t &enabled,
                 std::array<char, N> &text, std::size_t maxBytes)
{
    if (controls.get<QCheckBox>(boxId)->isChecked()) {
        enabled = 1;
        WriteTextField(text, controls.get<QLineEdit>(editId)->text(), maxBytes);
    } else {
        enabled = 0;
    }
}

} // namespace

CustomMessagesDialog::CustomMessagesDialog(AppState &state, QWidget *owner) : QDialog(owner), m_state(state)
{
    m_controls = BuildDialog(this, kTemplate);
    const SettingsRecord &settings = state.settings;
    m_controls.get<QLineEdit>(kMessage1Text)->setText(ReadTextField(settings.customMessage1));
    m_controls.get<QLineEdit>(kMessage2Text)->setText(ReadTextField(settings.customMessage2));
    WirePhrase(m_controls, kMessage1Enabled, kMessage1Text, settings.customMessage1Enabled);
    WirePhrase(m_controls, kMessage2Enabled, kMessage2Text, settings.customMessage2Enabled);
    connect(m_controls.get<QPushButton>(1), &QPushButton::clicked, this, &QDialog::accept);
}

void CustomMessagesDialog::done(int result)
{
    storeAndSave();
    QDialog::done(result);
}


void CustomMessagesDialog::storeAndSave()
{
    SettingsRecord &settings = m_state.settings;
    StorePhrase(m_controls, kMessage1Enabled, kMessage1Text, settings.customMessage1Enabled, settings.customMessage1,
                kCustomMessage1MaxBytes);
    StorePhrase(m_controls, kMessage2Enabled, kMessage2Text, settings.customMessage2Enabled, settings.customMessage2,
                kCustomMessage2MaxBytes);
    SaveDataFiles(m_state);
    emit customMessagesChanged();
}
