// The school's sound levels and outputs: kept in the schedule's file, absent ones at full level,
// a level above the ceiling held at it, and a wrong level refused with nothing written.
#include "BellStore.h"
#include "Calendar.h"
#include "ScheduleFixture.h"
#include "SoundSettings.h"

#include <QtTest>

class TestSoundSettings : public QObject {
    Q_OBJECT
private slots:
    void keptLevelsUnderTheCeiling() {
        ScheduleFixture fx;
        BellStore store;
        store.setFile(fx.databaseFile());
        Calendar calendar(store);
        SoundSettings settings(calendar);
        using K = SoundSettings::Kind;

        // Nothing stored: everything at full level through the program's own output.
        SoundSettings::Values v = settings.read();
        QCOMPARE(v, SoundSettings::Values{});
        QCOMPARE(v.effective(K::Alarm), 1.0);

        v.master = 80;
        v.kind = {50, 100, 25, 100};
        v.ceiling = 60;
        v.output = {QString(), QStringLiteral("hoparlor.koridor"), QString(), QString()};
        settings.write(v);
        // Read back through another calendar, as the bells read it.
        Calendar other(store);
        const SoundSettings::Values back = SoundSettings(other).read();
        QCOMPARE(back, v);
        QCOMPARE(back.effective(K::Bell), 0.4);         // 80 % × 50 %
        QCOMPARE(back.effective(K::Announcement), 0.6); // 80 %, held at the ceiling
        QCOMPARE(back.effective(K::Music), 0.2);
        QCOMPARE(back.outputOf(K::Announcement), QStringLiteral("hoparlor.koridor"));
        QCOMPARE(other.namedSetting(QStringLiteral("Ses:Tavan")), QStringLiteral("60"));
        QCOMPARE(other.namedSetting(QStringLiteral("Cikis:Anons")),
                 QStringLiteral("hoparlor.koridor"));

        // Out of range: refused in Turkish, nothing written.
        SoundSettings::Values wrong = v;
        wrong.master = 20;
        wrong.kind[3] = 101;
        try {
            settings.write(wrong);
            QFAIL("a level above 100 % was taken");
        } catch (const ERefused &refused) {
            QVERIFY2(refused.message().contains(QStringLiteral("arasında")),
                     qPrintable(refused.message()));
        }
        QCOMPARE(SoundSettings(other).read(), v);

        // A level someone wrote by hand that is no percent plays at full level, not silent.
        calendar.writeNamedSettings({{QStringLiteral("Ses:Zil"), QStringLiteral("yarım")}});
        QCOMPARE(SoundSettings(other).read().kind[0], 100);
    }
};

QTEST_GUILESS_MAIN(TestSoundSettings)
#include "tst_soundsettings.moc"
