#pragma once

class QWidget;

// In a window built from a dialog table, a letter held with Alt is for the
// window's underlined letters, never text: when no enabled control takes it
// (its control is disabled, or no control has that letter) it does nothing
// but beep, instead of typing the letter into the field that has the
// keyboard, where it would go out with the message. Alt with Ctrl, which
// some keyboards use for their third level (AltGr), still types.
void GuardAltLetters(QWidget *window);
