#pragma once

#include "form/FormSnapshot.h"
#include "mail/DeliveryJob.h"
#include "store/MessageStore.h"

#include <QDateTime>

#include <optional>

struct OutgoingMessage;

// A message taken, as the outbox keeps it: what delivery needs as plain
// values (the job as built at Send, without the password, which is read
// from the settings at each try, and without the sign-in's tokens, which
// are fetched then), what the form needs to put it back, and the texts the
// log shows and searches. The job's Date and Message-ID are fixed here, so
// every try sends the same message.
StoredMessage MakeStoredMessage(const FormSnapshot &sent, const OutgoingMessage &rendered, const DeliveryJob &job,
                                const QDateTime &takenAt);

// The job again, to send: its attachment is the store's copy. Nothing when
// the record cannot be read (written by a newer program, or damaged).
std::optional<DeliveryJob> JobFromStoredMessage(const StoredMessage &message);

// What the form held at Send, to put back; the attachment is the store's
// copy, so that a moved or deleted original still goes with it.
std::optional<FormSnapshot> SnapshotFromStoredMessage(const StoredMessage &message);

// When a message that failed in a way that may pass is tried again: after
// 30 seconds, then 1, 2, 5 and 10 minutes, then every 15 minutes; later
// where the server asked for longer (Retry-After, at most a day).
QDateTime NextTry(const QDateTime &failedAt, int attemptsSoFar, int retryAfterSeconds = -1);
