// Where the school's data is: beside the program in a build folder, in the folder named by the
// marker beside an installed program.
#include "ProgramValues.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestProgramValues : public QObject {
    Q_OBJECT
private:
    static bool writeMarker(const QString &folder, const QByteArray &text) {
        QFile marker(folder + QLatin1String(DataFolderMarker));
        return marker.open(QIODevice::WriteOnly) && marker.write(text) == text.size();
    }
private slots:
    void cleanup() { setProgramFolder({}); }

    void dataBesideAProgramWithoutMarker() {
        QTemporaryDir program;
        setProgramFolder(program.path());
        QCOMPARE(dataFolder(), program.path() + "/");
        QCOMPARE(musicFolder(), program.path() + "/Muzikler/");
    }

    void markerNamesTheDataFolder() {
        QTemporaryDir installed;
        QTemporaryDir build;
        QVERIFY(writeMarker(installed.path() + "/", "/var/lib/selvanor-zil\n"));
        setProgramFolder(installed.path());
        QCOMPARE(dataFolder(), QStringLiteral("/var/lib/selvanor-zil/"));
        QCOMPARE(musicFolder(), QStringLiteral("/var/lib/selvanor-zil/Muzikler/"));
        // Another program folder is read afresh, not taken from the last answer.
        setProgramFolder(build.path());
        QCOMPARE(dataFolder(), build.path() + "/");
    }

    void relativeMarkerKeepsTheProgramFolder() {
        QTemporaryDir program;
        QVERIFY(writeMarker(program.path() + "/", "veri\n"));
        setProgramFolder(program.path());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("No absolute data folder"));
        QCOMPARE(dataFolder(), program.path() + "/");
    }
};

QTEST_GUILESS_MAIN(TestProgramValues)
#include "tst_programvalues.moc"
