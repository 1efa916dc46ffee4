#include "widgets/LazyIcon.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A square picture of one colour, so a test can tell which file was drawn.
bool WritePicture(const QString &path, int size, QColor colour)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(colour);
    return image.save(path, "PNG");
}

QColor CentreOf(const QPixmap &pixmap)
{
    const QImage image = pixmap.toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

} // namespace

class TestLazyIcon : public QObject {
    Q_OBJECT
private slots:
    // A file is read when its size is first asked for, not when the icon is
    // made: one written only afterwards is the one drawn.
    void readsEachSizeWhenFirstDrawn()
    {
        QTemporaryDir dir;
        const QString small = dir.filePath(QStringLiteral("16.png"));
        const QString medium = dir.filePath(QStringLiteral("22.png"));
        const QString large = dir.filePath(QStringLiteral("48.png"));
        QVERIFY(WritePicture(small, 16, Qt::red));
        const QIcon icon = LazyIcon({{48, large}, {16, small}, {22, medium}});

        QVERIFY(WritePicture(medium, 22, Qt::green));
        QVERIFY(WritePicture(large, 48, Qt::blue));
        QCOMPARE(icon.availableSizes(), (QList<QSize>{{16, 16}, {22, 22}, {48, 48}}));
        QCOMPARE(CentreOf(icon.pixmap(16, 16)), QColor(Qt::red));
        QCOMPARE(CentreOf(icon.pixmap(22, 22)), QColor(Qt::green));
        QCOMPARE(icon.pixmap(22, 22).size(), QSize(22, 22));
        // Between sizes, the next larger file scaled down; above them all, the largest.
        QCOMPARE(icon.pixmap(24, 24).size(), QSize(24, 24));
        QCOMPARE(CentreOf(icon.pixmap(24, 24)), QColor(Qt::blue));
        QCOMPARE(icon.pixmap(64, 64).size(), QSize(48, 48));

        // Once read, a size is kept: the file going away changes nothing.
        QVERIFY(QFile::remove(medium));
        QCOMPARE(CentreOf(icon.pixmap(22, 22)), QColor(Qt::green));
    }

    void paintsCentredInItsRectangle()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("22.png"));
        QVERIFY(WritePicture(file, 22, Qt::green));
        const QIcon icon = LazyIcon({{22, file}});
        QImage canvas(30, 30, QImage::Format_ARGB32);
        canvas.fill(Qt::white);
        {
            QPainter painter(&canvas);
            icon.paint(&painter, QRect(0, 0, 30, 30));
        }
        QCOMPARE(canvas.pixelColor(15, 15), QColor(Qt::green));
        QCOMPARE(canvas.pixelColor(1, 1), QColor(Qt::white));
    }
};

QTEST_MAIN(TestLazyIcon)
#include "test_lazyicon.moc"
