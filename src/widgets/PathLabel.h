#pragma once

#include <QLabel>

// A file name shown on one line, shortened with an ellipsis in the middle so
// its end stays visible however long it is.
class PathLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    void setFullText(const QString &text);
    QString fullText() const { return m_full; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateElided();
    QString m_full;
};
