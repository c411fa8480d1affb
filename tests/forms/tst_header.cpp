#include "forms/header.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

class TestHeader : public QObject
{
    Q_OBJECT

private slots:
    void returnParsesTheCardNumber_data()
    {
        QTest::addColumn<QString>("getippt");
        QTest::addColumn<bool>("gesendet");
        QTest::addColumn<unsigned>("id");
        QTest::addColumn<QString>("danach");
        QTest::newRow("eight digits") << "12345678" << true << 12345678u << "12345678";
        QTest::newRow("plus drops the last digit") << "+12345678" << true << 1234567u << "1234567";
        QTest::newRow("plus one digit") << "+7" << true << 0u << "0";
        QTest::newRow("leading zeros, as scanned") << "012345" << true << 12345u << "012345";
        QTest::newRow("negative") << "-5" << false << 0u << "-5";
    }

    void returnParsesTheCardNumber()
    {
        QFETCH(QString, getippt);
        QFETCH(bool, gesendet);
        QFETCH(unsigned, id);
        QFETCH(QString, danach);
        Header header;
        QLineEdit *scheibe = header.findChild<QLineEdit *>(QStringLiteral("scheibe"));
        QTest::keyClicks(scheibe, getippt);
        QSignalSpy spy(&header, &Header::scheibenIdEntered);
        QTest::keyClick(scheibe, Qt::Key_Return);
        QCOMPARE(spy.count(), gesendet ? 1 : 0);
        QCOMPARE(scheibe->text(), danach);
        if (gesendet) {
            QCOMPARE(spy.at(0).at(0).toUInt(), id);
            // The next card's number replaces the one just read.
            QTest::keyClicks(scheibe, "56");
            QCOMPARE(scheibe->text(), QStringLiteral("56"));
        }
    }

    void inputStates()
    {
        Header header;
        header.show();
        QVERIFY(QTest::qWaitForWindowActive(&header));
        QLineEdit *scheibe = header.findChild<QLineEdit *>(QStringLiteral("scheibe"));
        header.set("s", "m", { "A" }, "w", "i");
        QTest::keyClicks(scheibe, "12");

        header.inputDisable();
        QVERIFY(!scheibe->isEnabled());

        header.inputSelect();
        QVERIFY(scheibe->isEnabled() && scheibe->hasFocus());
        QTest::keyClicks(scheibe, "34");
        QCOMPARE(scheibe->text(), QStringLiteral("34"));

        header.inputDisable();
        header.inputClear();
        QVERIFY(scheibe->isEnabled() && scheibe->hasFocus());
        for (const char *name : { "scheibe", "schutze", "mannschaft", "wettbewerb", "waffe", "info" })
            QVERIFY2(header.findChild<QLineEdit *>(QLatin1String(name))->text().isEmpty(), name);
    }
};

QTEST_MAIN(TestHeader)
#include "tst_header.moc"
