#include "TurkishText.h"

#include <QtTest>

// Suffixes after numbers and times, as they are read aloud.
class TestTurkishText : public QObject {
    Q_OBJECT
private slots:
    void timesTakeTheSuffixOfTheirLastWord_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("form");
        QTest::addColumn<QString>("expected");
        const int de = int(TurkishCase::Locative);
        const int den = int(TurkishCase::Ablative);
        const int e = int(TurkishCase::Dative);
        const int i = int(TurkishCase::Accusative);
        const int in = int(TurkishCase::Genitive);
        QTest::newRow("on üç-te") << "13:00" << de << "13:00'te";
        QTest::newRow("kırk beş-te") << "15:45" << de << "15:45'te";
        QTest::newRow("otuz-da") << "12:30" << de << "12:30'da";
        QTest::newRow("zeros: sıfır") << "00:00" << de << "00:00'da";
        QTest::newRow("üç-ten") << "13:00" << den << "13:00'ten";
        QTest::newRow("kırk-tan") << "40" << den << "40'tan";
        QTest::newRow("dörd-e") << "4" << e << "4'e";
        QTest::newRow("iki-ye") << "2" << e << "2'ye";
        QTest::newRow("altı-ya") << "6" << e << "6'ya";
        QTest::newRow("dokuz-u") << "9" << i << "9'u";
        QTest::newRow("bin-in") << "3000" << in << "3000'in";
        QTest::newRow("elli-nin") << "50" << in << "50'nin";
        QTest::newRow("not a number") << "zil" << de << "zil";
    }
    void timesTakeTheSuffixOfTheirLastWord() {
        QFETCH(QString, text);
        QFETCH(int, form);
        QFETCH(QString, expected);
        QCOMPARE(withTurkishSuffix(text, TurkishCase(form)), expected);
    }
};

QTEST_APPLESS_MAIN(TestTurkishText)

#include "tst_turkishtext.moc"
