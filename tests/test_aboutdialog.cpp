#include "DialogTesting.h"

#include "ProductInfo.h"
#include "dialogs/AboutDialog.h"
#include "widgets/DialogTemplate.h"
#include "widgets/HyperLink.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QtTest>

class TestAboutDialog : public QObject {
    Q_OBJECT
private slots:
    void showsNameVersionLogoAndLink()
    {
        AboutDialog about(nullptr);
        about.show();
        QStringList texts;
        bool logoShown = false;
        for (const QLabel *label : about.findChildren<QLabel *>()) {
            texts.append(label->text());
            logoShown = logoShown || (label->pixmap().width() == 64 && label->frameShadow() == QFrame::Sunken);
        }
        QVERIFY(texts.contains(QStringLiteral("Quorvane Version 2.6")));
        QVERIFY(texts.contains(QStringLiteral("Visit us at:")));
        QVERIFY(logoShown);

        auto *link = ControlById<HyperLink>(&about, AboutControl::kLink);
        QVERIFY(link);
        QCOMPARE(link->cursor().shape(), Qt::BitmapCursor);
        QVERIFY(!link->cursor().pixmap().isNull());

        // The address is painted in pure blue.
        const QImage painted = link->grab().toImage();
        int blue = 0;
        for (int y = 0; y < painted.height(); ++y)
            for (int x = 0; x < painted.width(); ++x)
                blue += painted.pixelColor(x, y) == QColor(0, 0, 255);
        QVERIFY(blue > 20);
    }

    void programIconClosesTheDialog()
    {
        AboutDialog about(nullptr);
        about.show();
        QWidget *icon = about.findChild<QWidget *>(QStringLiteral("programIcon"));
        QVERIFY(icon);
        QTest::mouseClick(icon, Qt::LeftButton);
        QVERIFY(!about.isVisible());
        QCOMPARE(about.result(), int(QDialog::Rejected));
    }

    void linkOpensTheAddressOnEveryPress()
    {
        UrlRecorder browser(QStringLiteral("https"));
        AboutDialog about(nullptr);
        about.show();
        auto *link = ControlById<HyperLink>(&about, AboutControl::kLink);

        // The button going down is enough; no release needed.
        QTest::mousePress(link, Qt::LeftButton);
        QCOMPARE(browser.opened.size(), 1);
        QCOMPARE(browser.opened.first(), QUrl(QString::fromUtf8(kProductWebAddress)));
        QTest::mouseRelease(link, Qt::LeftButton);
        QCOMPARE(browser.opened.size(), 1);

        QTest::mousePress(link, Qt::LeftButton);
        QCOMPARE(browser.opened.size(), 2);
        QTest::mouseRelease(link, Qt::LeftButton);
        // The right button does nothing.
        QTest::mousePress(link, Qt::RightButton);
        QCOMPARE(browser.opened.size(), 2);
        QVERIFY(about.isVisible());
    }

    void launchErrorWhenNoBrowserStarts()
    {
        // The offscreen platform can open no URL at all: a real failure.
        if (QGuiApplication::platformName() != QLatin1String("offscreen"))
            QSKIP("needs a platform that cannot open URLs");
        AboutDialog about(nullptr);
        about.show();
        auto *link = ControlById<HyperLink>(&about, AboutControl::kLink);

        QString caption;
        QString text;
        WhenOpen<QMessageBox>(&about, [&](QMessageBox *box) {
            caption = box->windowTitle();
            text = box->text();
            box->button(QMessageBox::Ok)->click();
        });
        QTest::mousePress(link, Qt::LeftButton);
        QCOMPARE(caption, QStringLiteral("Launch Error"));
        QCOMPARE(text, QStringLiteral("Error opening Web Browser."));
        QVERIFY(about.isVisible());
    }
};

QTEST_MAIN(TestAboutDialog)
#include "test_aboutdialog.moc"
