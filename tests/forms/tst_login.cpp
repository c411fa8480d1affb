#include "forms/login.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class TestLogin : public QObject
{
    Q_OBJECT

private:
    struct Form
    {
        Login login;
        QComboBox *select = login.findChild<QComboBox *>(QStringLiteral("wettkampfSelect"));
        QLineEdit *user = login.findChild<QLineEdit *>(QStringLiteral("userEdit"));
        QLineEdit *password = login.findChild<QLineEdit *>(QStringLiteral("passwordEdit"));
        QPushButton *button = login.findChild<QPushButton *>(QStringLiteral("loginButton"));
    };

    static QStringList eintraege(QComboBox *select)
    {
        QStringList texte;
        for (int i = 0; i < select->count(); ++i)
            texte << select->itemText(i);
        return texte;
    }

private slots:
    void freshFormHoldsTheTwoSpecialEntries()
    {
        Form f;
        QCOMPARE(eintraege(f.select),
                 (QStringList { "Bitte Wettkampf wählen!", "Wettkampfliste neu laden..." }));
        QCOMPARE(f.select->currentIndex(), 0);
        QVERIFY(!f.select->itemData(0).isValid());
        QCOMPARE(f.password->echoMode(), QLineEdit::Password);
        QCOMPARE(f.button->text(), QStringLiteral("Anmelden"));
    }

    void setWettkampfeRebuildsWithoutReload()
    {
        Form f;
        QSignalSpy refresh(&f.login, &Login::wettkampfRefreshSelected);
        f.select->setCurrentIndex(1); // the reload entry, as before a reply arrives
        refresh.clear();
        f.login.setWettkampfe(
            { { 7, "Kreismeisterschaft" }, { 3, "Rundenwettkampf" }, { 7, "Kreismeisterschaft" } });
        QCOMPARE(refresh.count(), 0);
        QCOMPARE(f.select->count(), 5);
        QCOMPARE(f.select->currentIndex(), 0);
        QCOMPARE(f.select->itemData(2).toUInt(), 3u);
        QCOMPARE(f.select->itemData(3).toUInt(), 7u); // duplicates stay
        QCOMPARE(f.select->itemText(4), QStringLiteral("Wettkampfliste neu laden..."));

        f.login.setWettkampfe({});
        QCOMPARE(f.select->count(), 2);
        QCOMPARE(refresh.count(), 0);
    }

    void loginButtonSendsWhatWasTyped_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<quint32>("id");
        QTest::addColumn<QString>("name");
        QTest::newRow("competition") << 2 << quint32(4000000000u) << QStringLiteral("Liga");
        QTest::newRow("prompt") << 0 << quint32(0) << QStringLiteral("Bitte Wettkampf wählen!");
    }

    void loginButtonSendsWhatWasTyped()
    {
        QFETCH(int, index);
        QFETCH(quint32, id);
        QFETCH(QString, name);
        Form f;
        f.login.setWettkampfe({ { 1, "Kreis" }, { 4000000000u, "Liga" } });
        f.select->setCurrentIndex(index);
        QTest::keyClicks(f.user, "aufsicht");
        QTest::keyClicks(f.password, "gEh3im");
        QSignalSpy anmelden(&f.login, &Login::anmeldenClicked);
        QTest::mouseClick(f.button, Qt::LeftButton);
        QCOMPARE(anmelden.count(), 1);
        QCOMPARE(anmelden.at(0).at(0).value<quint32>(), id);
        QCOMPARE(anmelden.at(0).at(1).toString(), name);
        QCOMPARE(anmelden.at(0).at(2).toString(), QStringLiteral("aufsicht"));
        QCOMPARE(anmelden.at(0).at(3).toString(), QStringLiteral("gEh3im"));
        QVERIFY(!f.button->isEnabled());
    }

    void failureShowsOnTheButtonUntilTheTimerRuns()
    {
        Form f;
        f.login.setFehlerAnzeigeMs(200);
        QTest::mouseClick(f.button, Qt::LeftButton);
        f.login.setAnmeldeFehler(QStringLiteral("Login fehlgeschlagen (204:401)"));
        QCOMPARE(f.button->text(), QStringLiteral("Login fehlgeschlagen (204:401)"));
        QVERIFY(!f.button->isEnabled());
        QTest::qWait(120);
        // A second failure restarts the display.
        f.login.setAnmeldeFehler(QStringLiteral("zweiter Fehler"));
        QTest::qWait(120);
        QCOMPARE(f.button->text(), QStringLiteral("zweiter Fehler"));
        QTRY_COMPARE(f.button->text(), QStringLiteral("Anmelden"));
        QVERIFY(f.button->isEnabled());
    }

    void failureDisplayLastsThreeSeconds()
    {
        QCOMPARE(Login::fehlerAnzeigeMs, 3000);
        Form f;
        f.login.setAnmeldeFehler(QStringLiteral("x"));
        QElapsedTimer uhr;
        uhr.start();
        QTRY_COMPARE_WITH_TIMEOUT(f.button->text(), QStringLiteral("Anmelden"), 6000);
        QVERIFY(uhr.elapsed() >= 2850); // a coarse timer may fire up to 5 % early
    }

    void failedReloadNeedsAnotherChoiceFirst()
    {
        Form f;
        QSignalSpy refresh(&f.login, &Login::wettkampfRefreshSelected);
        f.select->setCurrentIndex(1);
        QCOMPARE(refresh.count(), 1);
        // The list request failed: nothing rebuilt the choice, and choosing the
        // same entry again is no index change.
        f.select->setCurrentIndex(1);
        QCOMPARE(refresh.count(), 1);
        QSignalSpy anmelden(&f.login, &Login::anmeldenClicked);
        QTest::mouseClick(f.button, Qt::LeftButton);
        QCOMPARE(anmelden.at(0).at(0).value<quint32>(), 0u);
        QCOMPARE(anmelden.at(0).at(1).toString(), QStringLiteral("Wettkampfliste neu laden..."));
        f.select->setCurrentIndex(0);
        f.select->setCurrentIndex(1);
        QCOMPARE(refresh.count(), 2);
    }
};

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
