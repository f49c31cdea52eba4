#include "TurkishText.h"

#include <QtTest>

// Suffixes after numbers and times, as they are read aloud.
class TestTurkishText : public QObject {
    Q_OBJECT
private slots:
    void suffixFollowsTheLastWordRead() {
        using C = TurkishCase;
        const struct {
            const char *text;
            C form;
            const char *expected;
        } cases[] = {
            {"13:00", C::Locative, "13:00'te"},
            {"15:45", C::Locative, "15:45'te"},
            {"12:30", C::Locative, "12:30'da"},
            {"00:00", C::Locative, "00:00'da"},
            {"13:00", C::Ablative, "13:00'ten"},
            {"40", C::Ablative, "40'tan"},
            {"4", C::Dative, "4'e"},
            {"2", C::Dative, "2'ye"},
            {"6", C::Dative, "6'ya"},
            {"9", C::Accusative, "9'u"},
            {"3000", C::Genitive, "3000'in"},
            {"50", C::Genitive, "50'nin"},
            {"3", C::Ordinal, "3'üncü"},
            {"2", C::Ordinal, "2'nci"},
            {"6", C::Ordinal, "6'ncı"},
            {"40", C::Ordinal, "40'ıncı"},
            {"10", C::Ordinal, "10'uncu"},
            {"zil", C::Locative, "zil"},
        };
        for (const auto &c : cases)
            QCOMPARE(withTurkishSuffix(QString::fromUtf8(c.text), c.form),
                     QString::fromUtf8(c.expected));
    }
};

QTEST_APPLESS_MAIN(TestTurkishText)

#include "tst_turkishtext.moc"
