#pragma once

#include "message/MessageFormInputs.h"

#include <QMetaType>
#include <QString>

// Everything the form held when Send was pressed: what went to rendering and
// what the form needs to put the message back if the send fails.
struct FormSnapshot {
    MessageFormInputs inputs;
    bool hasAttachment = false;
    QString attachmentPath;
    QString attachmentName;
    bool selectAllTicked = false;
    bool ccCallerTicked = false;
};

Q_DECLARE_METATYPE(FormSnapshot)
