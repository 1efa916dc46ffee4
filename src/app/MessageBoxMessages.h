#pragma once

#include "store/UserMessages.h"

// Shows the store's messages as ordinary message boxes with no owner.
class MessageBoxMessages : public UserMessages {
public:
    void show(const QString &caption, const QString &text) override;
};
