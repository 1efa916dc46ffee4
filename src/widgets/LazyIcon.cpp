#include "widgets/LazyIcon.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>

namespace {

class LazyIconEngine : public QIconEngine {
public:
    explicit LazyIconEngine(QList<IconFile> files) : m_files(std::move(files))
    {
        std::sort(m_files.begin(), m_files.end(), [](const IconFile &a, const IconFile &b) { return a.size < b.size; });
        m_decoded.resize(m_files.size());
    }

    QIconEngine *clone() const override { return new LazyIconEngine(*this); }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const IconFile &file : std::as_const(m_files))
            sizes.append(QSize(file.size, file.size));
        return sizes;
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const qsizetype i = bestFor(size);
        if (i < 0)
            return {};
        const QSize own(m_files[i].size, m_files[i].size);
        return own.width() <= size.width() && own.height() <= size.height() ? own : own.scaled(size, Qt::KeepAspectRatio);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        const qsizetype i = bestFor(size);
        if (i < 0)
            return {};
        if (m_decoded[i].isNull())
            m_decoded[i] = QPixmap(m_files[i].path);
        QPixmap picture = m_decoded[i];
        if (!picture.isNull() && (picture.width() > size.width() || picture.height() > size.height()))
            picture = picture.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (mode != QIcon::Normal && !picture.isNull() && QApplication::style()) {
            QStyleOption option;
            option.palette = QApplication::palette();
            picture = QApplication::style()->generatedIconPixmap(mode, picture, &option);
        }
        return picture;
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap picture = pixmap(rect.size() * ratio, mode, state);
        picture.setDevicePixelRatio(ratio);
        const QSize shown = picture.size() / ratio;
        painter->drawPixmap(QRect(rect.x() + (rect.width() - shown.width()) / 2,
                                  rect.y() + (rect.height() - shown.height()) / 2, shown.width(), shown.height()),
                            picture);
    }

private:
    // The smallest picture at least as large as size, else the largest.
    qsizetype bestFor(const QSize &size) const
    {
        const int wanted = std::max(size.width(), size.height());
        for (qsizetype i = 0; i < m_files.size(); ++i) {
            if (m_files[i].size >= wanted)
                return i;
        }
        return m_files.size() - 1;
    }

    QList<IconFile> m_files;
    QList<QPixmap> m_decoded;
};

} // namespace

QIcon LazyIcon(const QList<IconFile> &files)
{
    return QIcon(new LazyIconEngine(files));
}
