#pragma once

#include "widgets/DialogTemplate.h"

#include <QDialog>

struct StoredData;

// The 40 stored recipients as 40 rows of name and address, in two blocks of
// 20. OK is the only way out: it stores every row in place (no compaction),
// saves, and tells the form to relabel its recipient boxes. Escape and the
// close box do nothing.
class RecipientsEditor : public QDialog {
    Q_OBJECT
public:
    RecipientsEditor(StoredData &data, QWidget *owner);

    // Edit ids of entry i: names 2000-2019 (left block) and 2040-2059 (right
    // block), each address edit 20 above its name edit.
    static int NameEditId(int entry);
    static int AddressEditId(int entry);

    void accept() override;
    void reject() override;

signals:
    // Emitted after the table has been saved.
    void recipientsChanged();

private:
    StoredData &m_data;
    DialogControls m_controls;
};
