#include "store/InvertText.h"
#include "store/RecordBytes.h"
#include "store/TextField.h"

#include <QtTest>

// The byte images of the two records and the text-field rules.
class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void integersAreLittleEndianAtTheirOffsets()
    {
        SettingsRecord r;
        r.sendAsHtml = 1;
        r.smtpPort = 0x01020304;
        const QByteArray bytes = SettingsToBytes(r);
        QCOMPARE(bytes.size(), 1792);
        QCOMPARE(bytes.mid(492, 4), QByteArray("\x01\x00\x00\x00", 4));
        QCOMPARE(bytes.mid(760, 4), QByteArray("\x04\x03\x02\x01", 4));
    }

    void shortImageFillsOnlyLeadingBytes()
    {
        SettingsRecord r;
        r.smtpPort = 25;
        SettingsFromBytes(r, QByteArray(100, 'a'));
        QCOMPARE(r.smtpServer[99], 'a');
        QCOMPARE(r.smtpServer[100], '\0');
        QCOMPARE(r.smtpPort, 25);
    }

    void invertTextStoresComplement()
    {
        std::array<char, 128> clear{};
        std::memcpy(clear.data(), "abc", 3);
        std::array<char, 128> stored{};
        stored.fill('\x55');
        InvertText(clear, stored);
        QCOMPARE(QByteArray(stored.data(), 5), QByteArray("\x9e\x9d\x9c\x00\x00", 5));
        QCOMPARE(stored[127], '\0');

        clear.fill(0);
        std::memcpy(clear.data(), "ab\xff" "cd", 5);
        InvertText(clear, stored);
        QCOMPARE(QByteArray(stored.data(), 3), QByteArray("\x9e\x9d\x00", 3));
    }

    void invertTextStopsAtFieldWidthWithoutZero()
    {
        std::array<char, 128> full;
        full.fill('\x01');
        std::array<char, 128> out;
        InvertText(full, out);
        QCOMPARE(out[126], '\xfe');
        QCOMPARE(out[127], '\0');
    }

    void textFieldCutsOnCharacterBoundary_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxBytes");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("ascii fits") << "abc" << 30 << QByteArray("abc");
        QTest::newRow("ascii cut") << QString(40, 'x') << 30 << QByteArray(30, 'x');
        // "é" is two bytes: a cut through it drops the whole character.
        QTest::newRow("two-byte char at cut") << (QString(29, 'x') + QStringLiteral("é")) << 30
                                               << QByteArray(29, 'x');
        QTest::newRow("euro sign at cut") << (QString(28, 'x') + QStringLiteral("€")) << 30
                                           << QByteArray(28, 'x');
    }

    void textFieldCutsOnCharacterBoundary()
    {
        QFETCH(QString, text);
        QFETCH(int, maxBytes);
        QFETCH(QByteArray, stored);
        std::array<char, 32> field;
        field.fill('Z'); // an older value's tail must not survive
        WriteTextField(field, text, maxBytes);
        QCOMPARE(QByteArray(field.data(), stored.size()), stored);
        for (std::size_t i = stored.size(); i < field.size(); ++i)
            QCOMPARE(field[i], '\0');
        QCOMPARE(ReadTextField(field).toUtf8(), stored);
    }

    void textFieldReadStaysInsideWidth()
    {
        std::array<char, 48> field;
        field.fill('n');
        QCOMPARE(ReadTextField(field), QString(48, 'n'));
    }

    void nonUtf8FieldReadsAsWindows1252()
    {
        std::array<char, 48> field{};
        std::memcpy(field.data(), "Caf\xe9 \x80", 6);
        QCOMPARE(ReadTextField(field), QStringLiteral("Café €"));
    }
};

QTEST_APPLESS_MAIN(TestRecords)
#include "test_records.moc"
