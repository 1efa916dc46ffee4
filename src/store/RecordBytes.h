#pragma once

#include "store/RecipientTable.h"
#include "store/SettingsRecord.h"

#include <QByteArray>
#include <QByteArrayView>

// The on-disk images of the two records. Decoding copies only the bytes given:
// a short file fills the leading fields and the rest of the record keeps what
// it held, which is what a file from an older or damaged install expects.
// Encoding writes every text field with zeros after its terminator.
QByteArray SettingsToBytes(const SettingsRecord &record);
void SettingsFromBytes(SettingsRecord &record, QByteArrayView bytes);

QByteArray RecipientsToBytes(const RecipientTable &table);
void RecipientsFromBytes(RecipientTable &table, QByteArrayView bytes);
