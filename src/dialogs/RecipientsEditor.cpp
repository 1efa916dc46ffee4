#include "dialogs/RecipientsEditor.h"

#include "app/AppState.h"
#include "store/DataFiles.h"
#include "store/TextField.h"

#include <QLineEdit>
#include <QPushButton>

#include <vector>

namespace {

constexpr int kRowsPerBlock = 20;

struct Block {
    int nameX;
    int addressX;
};
constexpr Block kBlocks[] = {{7, 101}, {246, 340}};

// Row by row, name before address, the left block first: that is the tab
// order.
std::vector<ControlSpec> EditorControls()
{
    std::vector<ControlSpec> controls;
    for (int block = 0; block < 2; ++block) {
        for (int row = 0; row < kRowsPerBlock; ++row) {
            const int entry = block * kRowsPerBlock + row;
            const int y = 22 + 16 * row;
            // Forty rows alike: each edit says which entry it holds.
            controls.push_back({RecipientsEditor::NameEditId(entry), ControlKind::LineEdit, "",
                                {kBlocks[block].nameX, y, 90, 14}, kNoId,
                                QStringLiteral("Name %1").arg(entry + 1)});
            controls.push_back({RecipientsEditor::AddressEditId(entry), ControlKind::LineEdit, "",
                                {kBlocks[block].addressX, y, 131, 14}, kNoId,
                                QStringLiteral("Address %1").arg(entry + 1)});
        }
    }
    controls.push_back({1, ControlKind::DefaultButton, "&OK", {215, 349, 56, 14}});
    controls.push_back({kNoId, ControlKind::Label, "Name", {19, 6, 31, 9}});
    controls.push_back({kNoId, ControlKind::Label, "Email Address", {117, 6, 53, 13}});
    controls.push_back({kNoId, ControlKind::Label, "Name", {261, 6, 31, 9}});
    controls.push_back({kNoId, ControlKind::Label, "Email Address", {363, 6, 53, 13}});
    return controls;
}

} // namespace

int RecipientsEditor::NameEditId(int entry)
{
    return entry < kRowsPerBlock ? 2000 + entry : 2020 + entry;
}

int RecipientsEditor::AddressEditId(int entry)
{
    return NameEditId(entry) + 20;
}

RecipientsEditor::RecipientsEditor(AppState &state, QWidget *owner) : QDialog(owner), m_state(state)
{
    const std::vector<ControlSpec> controls = EditorControls();
    m_controls = BuildDialog(this, DialogTemplate{"Edit Recipients", 478, 366, controls});
    for (int i = 0; i < kRecipientCount; ++i) {
        const RecipientEntry &entry = state.recipients.entries[i];
        m_controls.get<QLineEdit>(NameEditId(i))->setText(ReadTextField(entry.name));
        m_controls.get<QLineEdit>(AddressEditId(i))->setText(ReadTextField(entry.address));
    }
    connect(m_controls.get<QPushButton>(1), &QPushButton::clicked, this, &QDialog::accept);
}

void RecipientsEditor::accept()
{
    for (int i = 0; i < kRecipientCount; ++i) {
        RecipientEntry &entry = m_state.recipients.entries[i];
        WriteTextField(entry.name, m_controls.get<QLineEdit>(NameEditId(i))->text());
        WriteTextField(entry.address, m_controls.get<QLineEdit>(AddressEditId(i))->text());
    }
    SaveDataFiles(m_state);
    emit recipientsChanged();
    QDialog::accept();
}

void RecipientsEditor::reject()
{
    // Escape and the close box end up here; leaving is only through OK.
}

