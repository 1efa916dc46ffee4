#pragma once

class QPlainTextEdit;

// Keeps a plain-text edit at no more than maxChars characters. What would go
// beyond is dropped from the end of the text just typed, pasted or set, so the
// rest of what the edit holds stays as it was.
void LimitPlainText(QPlainTextEdit *edit, int maxChars);
