#include "Hakkinda.h"
#include "WebSite.h"
#include "WindowLook.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPointer>

#include <QtTest>

// Stands in for the system's browser while it lives: records every address it is asked to open.
class BrowserSpy : public QObject {
    Q_OBJECT
public:
    BrowserSpy() {
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "openUrl");
    }
    ~BrowserSpy() override {
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    }

    QList<QUrl> opened;
public slots:
    void openUrl(const QUrl &url) { opened.append(url); }
};

class TestAbout : public QObject {
    Q_OBJECT

    static QLabel *label(TfrmAbout &window, const char *name) {
        auto *found = window.findChild<QLabel *>(QLatin1String(name));
        if (!found)
            qFatal("control %s is missing", name);
        return found;
    }

    static int aboutWindowCount() {
        int count = 0;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (qobject_cast<TfrmAbout *>(widget))
                ++count;
        return count;
    }

private slots:
    void textsAndLook() {
        TfrmAbout window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Hakkında"));
        // The version the program is built as.
        QCOMPARE(label(window, "Label1")->text(),
                 QStringLiteral("Selvanor Zil Sistemi Versiyon " ZIL_VERSION));

        QLabel *link = label(window, "Label3");
        QCOMPARE(link->text(), makerWebSite());
        QVERIFY(!link->text().isEmpty());
        QCOMPARE(link->palette().color(QPalette::Active, QPalette::WindowText), QColor(Qt::blue));
        QCOMPARE(link->palette().color(QPalette::Inactive, QPalette::WindowText), QColor(Qt::blue));
        QVERIFY(link->font().underline());
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        // The whole address is readable: the label is not narrower than its text.
        QVERIFY(link->width() >= link->fontMetrics().horizontalAdvance(link->text()));
        QVERIFY(link->geometry().right() < window.width());
        QLabel *name = label(window, "Label1");
        QVERIFY(name->width() >= name->fontMetrics().horizontalAdvance(name->text()));
    }

    void geometryAndBorder() {
        TfrmAbout window;
        QVERIFY(window.isHidden());
        QCOMPARE(window.pos(), QPoint(447, 298));
        QCOMPARE(window.size(), QSize(419, 223));
        QCOMPARE(window.minimumSize(), QSize(419, 223));
        QCOMPARE(window.maximumSize(), QSize(419, 223));

        const Qt::WindowFlags flags = window.windowFlags();
        QVERIFY(flags.testFlag(Qt::Window));
        QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));

        QCOMPARE(label(window, "Label1")->pos(), QPoint(128, 88));
        QCOMPARE(label(window, "Label3")->pos(), QPoint(144, 136));
        QCOMPARE(label(window, "Image1")->geometry(), QRect(0, 0, 419, 81));

        window.ShowAbout();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), QSize(419, 223));
        // Its place, unless that would leave part of it off a smaller screen.
        const QRect available = window.screen()->availableGeometry();
        const QRect designed(QPoint(447, 298), window.size() + frameAllowance);
        if (available.contains(designed))
            QCOMPARE(window.pos(), designed.topLeft());
        else
            QVERIFY(available.contains(QRect(window.pos(), designed.size())));
    }

    void bannerIsDrawnUnscaledFromTopLeft() {
        const QImage logo(QStringLiteral(":/logo.png"));
        QCOMPARE(logo.size(), QSize(414, 78));

        TfrmAbout window;
        QLabel *image = label(window, "Image1");
        QCOMPARE(image->pixmap().size(), QSize(414, 78));

        const QImage shown = image->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.size(), QSize(419, 81));
        const QList<QPoint> probes = {QPoint(0, 0), QPoint(413, 77), QPoint(36, 40),
                                      QPoint(200, 35), QPoint(5, 75)};
        for (const QPoint &p : probes)
            QCOMPARE(shown.pixel(p), logo.pixel(p));
        // Beyond the picture the label shows its own background, not stretched banner.
        const QRgb face = image->palette().color(QPalette::Window).rgb();
        QCOMPARE(shown.pixel(416, 10), face);
        QCOMPARE(shown.pixel(10, 80), face);
    }

    void linkTargetKeepsOnlyTheSite_data() {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("page");
        QTest::newRow("bare") << "https://www.selvanor.com.tr"
                              << "https://www.selvanor.com.tr/redirect.aspx?id=zil";
        QTest::newRow("trailing slash") << "https://www.selvanor.com.tr/"
                                        << "https://www.selvanor.com.tr/redirect.aspx?id=zil";
        QTest::newRow("own path and query") << "http://example.com/tr/ana?x=1"
                                            << "http://example.com/redirect.aspx?id=zil";
        QTest::newRow("no scheme") << "www.selvanor.com.tr"
                                   << "http://www.selvanor.com.tr/redirect.aspx?id=zil";
    }
    void linkTargetKeepsOnlyTheSite() {
        QFETCH(QString, site);
        QFETCH(QString, page);
        QCOMPARE(sitePageUrl(site, QStringLiteral("/redirect.aspx?id=zil")), QUrl(page));
    }

    void clickOpensTheRedirectPage() {
        BrowserSpy browser;

        TfrmAbout window;
        window.ShowAbout();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QLabel *link = label(window, "Label3");
        QTest::mouseClick(link, Qt::LeftButton, {}, link->rect().center());

        QCOMPARE(browser.opened.size(), 1);
        const QUrl url = browser.opened.first();
        const QUrl site = QUrl::fromUserInput(makerWebSite());
        QCOMPARE(url.scheme(), site.scheme());
        QCOMPARE(url.host(), site.host());
        QCOMPARE(url.path(), QStringLiteral("/redirect.aspx"));
        QCOMPARE(url.query(), QStringLiteral("id=zil"));
        QCOMPARE(url, TfrmAbout::linkTarget());
    }

    void onlyALeftClickOnTheLinkOpensIt() {
        BrowserSpy browser;

        TfrmAbout window;
        window.ShowAbout();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QLabel *link = label(window, "Label3");

        QTest::mouseClick(link, Qt::RightButton, {}, link->rect().center());
        QTest::mouseClick(label(window, "Label1"), Qt::LeftButton);
        QTest::mouseClick(label(window, "Image1"), Qt::LeftButton);
        // Pressed on the link but let go elsewhere: the user changed their mind.
        QTest::mousePress(link, Qt::LeftButton, {}, link->rect().center());
        QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(-20, -20));
        QCOMPARE(browser.opened.size(), 0);

        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(1, 1));
        QCOMPARE(browser.opened.size(), 1);
    }

    void noBrowserIsNotReported() {
        // Offscreen there is no browser to hand the address to.
        TfrmAbout window;
        window.ShowAbout();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const int windowsBefore = QApplication::topLevelWidgets().size();
        QLabel *link = label(window, "Label3");
        QTest::mouseClick(link, Qt::LeftButton, {}, link->rect().center());
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::topLevelWidgets().size(), windowsBefore);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(window.isVisible());
    }

    void showingTwiceKeepsOneWindow() {
        QWidget owner;
        owner.show();
        auto *window = new TfrmAbout(&owner);
        QVERIFY(window->isHidden());
        QCOMPARE(aboutWindowCount(), 1);

        window->ShowAbout();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // Another window gets the focus; showing again must bring the about window back on top.
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));

        window->ShowAbout();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QVERIFY(window->isVisible());
        QCOMPARE(aboutWindowCount(), 1);
    }

    void closeBoxOnlyHides() {
        QWidget owner;
        QPointer<TfrmAbout> window = new TfrmAbout(&owner);
        window->ShowAbout();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // Where the user dragged it stays where it is for the next showing.
        window->move(300, 200);
        QVERIFY(window->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window);
        QVERIFY(window->isHidden());

        window->ShowAbout();
        QVERIFY(window->isVisible());
        QCOMPARE(window->pos(), QPoint(300, 200));
        QCOMPARE(label(*window, "Label3")->text(), makerWebSite());
        // Esc closes it too.
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(window->isHidden());
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
