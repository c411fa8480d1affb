#include "forms/header.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

class TestHeader : public QObject
{
    Q_OBJECT

    static QLineEdit *feld(Header &header, const char *name)
    {
        return header.findChild<QLineEdit *>(QLatin1String(name));
    }

private slots:
    void returnParsesTheCardNumber_data()
    {
        QTest::addColumn<QString>("getippt");
        QTest::addColumn<bool>("gesendet");
        QTest::addColumn<unsigned>("id");
        QTest::addColumn<QString>("danach");
        QTest::newRow("eight digits") << "12345678" << true << 12345678u << "12345678";
        QTest::newRow("plus drops the last digit") << "+12345678" << true << 1234567u << "1234567";
        QTest::newRow("plus two digits") << "+42" << true << 4u << "4";
        QTest::newRow("plus one digit") << "+7" << true << 0u << "0";
        QTest::newRow("leading zeros, as scanned") << "012345" << true << 12345u << "012345";
        QTest::newRow("negative") << "-5" << false << 0u << "-5";
        QTest::newRow("empty") << "" << false << 0u << "";
        QTest::newRow("sign only") << "+" << false << 0u << "+";
        QTest::newRow("largest") << "999999999" << true << 999999999u << "999999999";
    }

    void returnParsesTheCardNumber()
    {
        QFETCH(QString, getippt);
        QFETCH(bool, gesendet);
        QFETCH(unsigned, id);
        QFETCH(QString, danach);
        Header header;
        QLineEdit *scheibe = feld(header, "scheibe");
        scheibe->setText(getippt);
        QSignalSpy spy(&header, &Header::scheibenIdEntered);
        QTest::keyClick(scheibe, Qt::Key_Return);
        QCOMPARE(spy.count(), gesendet ? 1 : 0);
        if (gesendet) {
            QCOMPARE(spy.at(0).at(0).toUInt(), id);
            QCOMPARE(scheibe->selectedText().trimmed(), danach);
        }
        QCOMPARE(scheibe->text(), danach);
        QVERIFY(scheibe->isEnabled());
    }

    void setJoinsTheEvents()
    {
        Header header;
        header.set("Anna Huber (17, SV Tell)", "Tell I", { "A", "B" }, "Luftgewehr", "info");
        QCOMPARE(feld(header, "wettbewerb")->text(), QStringLiteral("A, B"));
        QCOMPARE(feld(header, "schutze")->text(), QStringLiteral("Anna Huber (17, SV Tell)"));
        header.set("s", "m", { "A" }, "w");
        QCOMPARE(feld(header, "wettbewerb")->text(), QStringLiteral("A"));
        QCOMPARE(feld(header, "info")->text(), QString());
        header.set("s", "m", {}, "w");
        QCOMPARE(feld(header, "wettbewerb")->text(), QString());
    }

    void inputStates()
    {
        Header header;
        header.show();
        QVERIFY(QTest::qWaitForWindowActive(&header));
        QLineEdit *scheibe = feld(header, "scheibe");
        header.set("s", "m", { "A" }, "w", "i");
        scheibe->setText("1234");

        header.inputDisable();
        QVERIFY(!scheibe->isEnabled());

        header.inputSelect();
        QVERIFY(scheibe->isEnabled());
        QVERIFY(scheibe->hasFocus());
        QCOMPARE(scheibe->selectedText().trimmed(), QStringLiteral("1234"));

        header.inputDisable();
        header.inputClear();
        QVERIFY(scheibe->isEnabled());
        QVERIFY(scheibe->hasFocus());
        for (const char *name : { "scheibe", "schutze", "mannschaft", "wettbewerb", "waffe", "info" })
            QVERIFY2(feld(header, name)->text().isEmpty(), name);
    }
};

QTEST_MAIN(TestHeader)
#include "tst_header.moc"
