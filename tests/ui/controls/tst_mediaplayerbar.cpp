#include "BoxAnswerer.h"
#include "FakeMediaLayer.h"
#include "MPlayer.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QShortcut>
#include <QtTest>

#include <memory>

namespace {

constexpr TButtonSet threeButtons = ButtonBit(btPlay) | ButtonBit(btPause) | ButtonBit(btStop);

const QColor face(192, 192, 192);
const QColor light(255, 255, 255);
const QColor dark(128, 128, 128);
const QColor frame(0, 0, 0);
const QColor backdrop(255, 0, 255);

QPalette fixedPalette() {
    QPalette p;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Button, face);
        p.setColor(group, QPalette::Light, light);
        p.setColor(group, QPalette::Dark, dark);
        p.setColor(group, QPalette::Shadow, frame);
    }
    return p;
}

// The program's player: three buttons on a window, 85 x 20 once shown.
struct Rig {
    QWidget host;
    FakeMediaLayer *layer = nullptr;
    TMediaPlayer *player = nullptr;
    int clicks = 0;
    int postClicks = 0;
    QList<TMPBtnType> clicked;

    explicit Rig(TButtonSet visible = threeButtons, QSize size = {85, 20}) {
        auto fake = std::make_unique<FakeMediaLayer>();
        layer = fake.get();
        host.resize(400, 100);
        player = new TMediaPlayer(&host, std::move(fake));
        player->setPalette(fixedPalette());
        player->setGeometry(QRect(QPoint(10, 10), size));
        player->setVisibleButtons(visible);
        player->OnClick = [this](TMediaPlayer *, TMPBtnType button, bool &) {
            ++clicks;
            clicked.append(button);
        };
        player->OnPostClick = [this](TMediaPlayer *, TMPBtnType) { ++postClicks; };
        host.show();
        // Activation hands the focus to the bar; tests that want the focus rectangle ask for it.
        QApplication::setActiveWindow(&host);
        if (QTest::qWaitForWindowActive(&host))
            player->clearFocus();
    }

    void open() {
        player->device().setFileName(QStringLiteral("zil.wav"));
        player->device().Open();
    }

    QImage render() const {
        QImage image(player->size(), QImage::Format_RGB32);
        image.fill(backdrop);
        player->render(&image);
        return image;
    }

    int playCount() const { return layer->count(QStringLiteral("play")); }

    void send(QEvent::Type type, int x, Qt::MouseButtons held) {
        const QPointF pos(x, 10);
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, pos, player->mapToGlobal(pos), button, held, Qt::NoModifier);
        QApplication::sendEvent(player, &event);
    }
    void press(int x) { send(QEvent::MouseButtonPress, x, Qt::LeftButton); }
    void doubleClick(int x) { send(QEvent::MouseButtonDblClick, x, Qt::LeftButton); }
    void move(int x) { send(QEvent::MouseMove, x, Qt::LeftButton); }
    void release(int x) { send(QEvent::MouseButtonRelease, x, Qt::NoButton); }
    void click(int x) {
        press(x);
        release(x);
    }
};

// The glyph pixel that lies inside every shape of a cell: the middle of the glyph.
QColor glyphCentre(const QImage &image, TMediaPlayer *player, TMPBtnType button,
                   bool down = false) {
    const QImage &g = player->glyph(GlyphSet::Plain, button);
    QPoint at = TMediaPlayer::glyphPosition(*player->cellLeft(button), player->CellWidth(),
                                            player->height(), g.size());
    // The pause bars leave a gap in the middle; take the first bar's centre instead.
    const QPoint inside = button == btPause ? QPoint(3, 8) : QPoint(g.width() / 2 - 1, 7);
    at += inside + (down ? QPoint(1, 1) : QPoint());
    return image.pixelColor(at);
}

} // namespace

class TestMediaPlayerBar : public QObject {
    Q_OBJECT
private slots:
    void glyphsAreLoadedWithTheirSizes() {
        Rig rig;
        TMediaPlayer *p = rig.player;
        QCOMPARE(p->MinCellWidth(), 29);
        QCOMPARE(p->MinCellHeight(), 20);
        const QList<QSize> sizes = {{17, 16}, {13, 16}, {17, 16}, {21, 16}, {20, 16},
                                    {21, 16}, {21, 16}, {13, 13}, {19, 16}};
        for (int b = btPlay; b <= btEject; ++b) {
            const auto button = TMPBtnType(b);
            QCOMPARE(p->glyph(GlyphSet::Plain, button).size(), sizes[b]);
            QCOMPARE(p->glyph(GlyphSet::Colored, button).size(), sizes[b]);
            const QSize greyed = button == btPause ? QSize(12, 16) : sizes[b];
            QCOMPARE(p->glyph(GlyphSet::Greyed, button).size(), greyed);
            // 16-colour pictures: the top-left corner is background, olive except the greyed
            // btPrev, whose background is light grey.
            for (auto set : {GlyphSet::Plain, GlyphSet::Greyed, GlyphSet::Colored}) {
                const QImage &g = p->glyph(set, button);
                QVERIFY(g.colorCount() > 0 && g.colorCount() <= 16);
                const QColor corner = g.pixelColor(0, 0);
                if (set == GlyphSet::Greyed && button == btPrev)
                    QCOMPARE(corner, QColor(192, 192, 192));
                else
                    QCOMPARE(corner, QColor(128, 128, 0));
            }
        }
        // Plain fills black, coloured with the button's colour, greyed stays hollow; the outline
        // is grey along the upper left.
        const QImage &play = p->glyph(GlyphSet::Colored, btPlay);
        QCOMPARE(play.pixelColor(6, 7), QColor(0, 255, 0));
        QCOMPARE(play.pixelColor(2, 7), QColor(128, 128, 128));
        QCOMPARE(p->glyph(GlyphSet::Plain, btPlay).pixelColor(6, 7), QColor(0, 0, 0));
        QCOMPARE(p->glyph(GlyphSet::Greyed, btPlay).pixelColor(6, 7), QColor(128, 128, 0));
        QCOMPARE(p->glyph(GlyphSet::Colored, btStop).pixelColor(8, 8), QColor(255, 0, 0));
        QCOMPARE(p->glyph(GlyphSet::Colored, btStop).pixelColor(14, 12), QColor(255, 255, 255));
        QCOMPARE(p->glyph(GlyphSet::Colored, btPause).pixelColor(3, 8), QColor(255, 255, 0));
    }

    void programControlGeometry() {
        Rig rig;
        TMediaPlayer *p = rig.player;
        QCOMPARE(p->size(), QSize(85, 20));
        QCOMPARE(p->CellWidth(), 29);
        QCOMPARE(*p->cellLeft(btPlay), 0);
        QCOMPARE(*p->cellLeft(btPause), 28);
        QCOMPARE(*p->cellLeft(btStop), 56);
        QVERIFY(!p->cellLeft(btEject));
        QVERIFY(p->TabStop());
        QCOMPARE(p->focusPolicy(), Qt::TabFocus);
    }

    void buttonsSetBeforeTheWindowExistsDoNotGoNegative() {
        QWidget host;
        auto *p = new TMediaPlayer(&host, std::make_unique<FakeMediaLayer>());
        p->setGeometry(304, 128, 85, 20);
        p->setVisibleButtons(threeButtons);
        QCOMPARE(p->width(), 0);
        host.show();
        QCOMPARE(p->size(), QSize(85, 20));
        QCOMPARE(p->pos(), QPoint(304, 128));
    }

    void sizing_data() {
        QTest::addColumn<int>("visible");
        QTest::addColumn<QSize>("given");
        QTest::addColumn<QSize>("settled");
        QTest::addColumn<int>("cellWidth");
        QTest::newRow("new control") << int(AllButtons) << QSize(240, 30) << QSize(253, 30) << 29;
        QTest::newRow("program's control")
            << int(threeButtons) << QSize(85, 20) << QSize(85, 20) << 29;
        QTest::newRow("101 becomes 100")
            << int(threeButtons) << QSize(101, 20) << QSize(100, 20) << 34;
        QTest::newRow("100 stays") << int(threeButtons) << QSize(100, 20) << QSize(100, 20) << 34;
        QTest::newRow("three never below 85")
            << int(threeButtons) << QSize(40, 5) << QSize(85, 20) << 29;
        QTest::newRow("nine never below 253")
            << int(AllButtons) << QSize(100, 19) << QSize(253, 20) << 29;
        QTest::newRow("none counts as one") << 0 << QSize(10, 10) << QSize(29, 20) << 29;
        QTest::newRow("none keeps a wide size") << 0 << QSize(60, 25) << QSize(60, 25) << 60;
    }
    void sizing() {
        QFETCH(int, visible);
        QFETCH(QSize, given);
        QFETCH(QSize, settled);
        QFETCH(int, cellWidth);

        QWidget host;
        auto *p = new TMediaPlayer(&host, std::make_unique<FakeMediaLayer>());
        host.show();
        p->setVisibleButtons(TButtonSet(visible));
        p->resize(given);
        QCOMPARE(p->size(), settled);
        QCOMPARE(p->CellWidth(), cellWidth);

        int cw = 0;
        QCOMPARE(TMediaPlayer::settledSize(given, TMediaPlayer::visibleCount(TButtonSet(visible)),
                                           29, 20, &cw),
                 settled);
        QCOMPARE(cw, cellWidth);
    }

    void visibleButtonsKeepTheCellWidth() {
        Rig rig(AllButtons, {240, 30});
        QCOMPARE(rig.player->size(), QSize(253, 30));
        rig.player->setVisibleButtons(threeButtons);
        QCOMPARE(rig.player->size(), QSize(85, 30));
        rig.player->resize(101, 30);
        rig.player->setVisibleButtons(ButtonBit(btPlay) | ButtonBit(btStop));
        QCOMPARE(rig.player->size(), QSize(67, 30));
        QCOMPARE(rig.player->CellWidth(), 34);
    }

    void hitTest_data() {
        QTest::addColumn<int>("visible");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("button"); // -1: no cell
        QTest::addColumn<int>("cellLeft");
        QTest::newRow("0") << int(threeButtons) << 0 << int(btPlay) << 0;
        QTest::newRow("28 shared border") << int(threeButtons) << 28 << int(btPlay) << 0;
        QTest::newRow("29 right border") << int(threeButtons) << 29 << int(btPlay) << 0;
        QTest::newRow("30") << int(threeButtons) << 30 << int(btPause) << 28;
        QTest::newRow("57") << int(threeButtons) << 57 << int(btPause) << 28;
        QTest::newRow("58") << int(threeButtons) << 58 << int(btStop) << 56;
        QTest::newRow("84 right edge") << int(threeButtons) << 84 << int(btStop) << 56;
        QTest::newRow("beyond the cells") << int(threeButtons) << 86 << -1 << 0;
        QTest::newRow("no visible button") << 0 << 5 << -1 << 0;
        QTest::newRow("eject after gap")
            << int(ButtonBit(btPause) | ButtonBit(btEject)) << 40 << int(btEject) << 28;
    }
    void hitTest() {
        QFETCH(int, visible);
        QFETCH(int, x);
        QFETCH(int, button);
        QFETCH(int, cellLeft);
        const auto hit = TMediaPlayer::hitTest(TButtonSet(visible), 29, x);
        QCOMPARE(hit.has_value(), button >= 0);
        if (hit) {
            QCOMPARE(int(hit->button), button);
            QCOMPARE(hit->cellLeft, cellLeft);
        }
    }

    void paintsOutlineCellsAndBevels() {
        Rig rig;
        const QImage image = rig.render();
        // Whole outline and the shared border columns in the frame colour.
        for (QPoint pt : {QPoint(0, 0), QPoint(84, 0), QPoint(0, 19), QPoint(84, 19),
                          QPoint(28, 10), QPoint(56, 10), QPoint(40, 0), QPoint(40, 19)})
            QCOMPARE(image.pixelColor(pt), frame);
        // Raised bevel of the first cell: highlight up and left, shadow down and right.
        QCOMPARE(image.pixelColor(1, 10), light);
        QCOMPARE(image.pixelColor(1, 18), light);
        QCOMPARE(image.pixelColor(10, 1), light);
        QCOMPARE(image.pixelColor(27, 1), light);
        QCOMPARE(image.pixelColor(27, 10), dark);
        QCOMPARE(image.pixelColor(10, 18), dark);
        QCOMPARE(image.pixelColor(2, 18), dark);
        QCOMPARE(image.pixelColor(2, 10), face);
        // The key colour never reaches the screen; the face shows through instead.
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                QVERIFY(image.pixelColor(x, y) != QColor(128, 128, 0));
                QVERIFY(image.pixelColor(x, y) != backdrop);
            }
    }

    void glyphPlacement() {
        QCOMPARE(TMediaPlayer::glyphPosition(0, 29, 20, {17, 16}), QPoint(6, 2));
        QCOMPARE(TMediaPlayer::glyphPosition(28, 29, 20, {13, 16}), QPoint(36, 2));
        QCOMPARE(TMediaPlayer::glyphPosition(28, 29, 20, {12, 16}), QPoint(36, 2));
        QCOMPARE(TMediaPlayer::glyphPosition(56, 29, 20, {17, 16}), QPoint(62, 2));
        QCOMPARE(TMediaPlayer::glyphPosition(0, 34, 30, {13, 13}), QPoint(11, 9));

        // Greyed play outline lands at x + 6 + 2 = 8, y = 2 + 7 = 9.
        Rig rig;
        const QImage image = rig.render();
        QCOMPARE(image.pixelColor(8, 9), dark);
        QCOMPARE(image.pixelColor(7, 9), face);
    }

    void noVisibleButtonPaintsOnlyTheOutline() {
        Rig rig(0, {60, 25});
        rig.player->resize(60, 25);
        QCOMPARE(rig.player->CellWidth(), 60);
        const QImage image = rig.render();
        QCOMPARE(image.pixelColor(0, 0), frame);
        QCOMPARE(image.pixelColor(59, 24), frame);
        QCOMPARE(image.pixelColor(30, 0), frame);
        QCOMPARE(image.pixelColor(1, 1), backdrop);
        QCOMPARE(image.pixelColor(30, 12), backdrop);
        rig.press(10);
        rig.release(10);
        QCOMPARE(rig.clicks, 0);
        QVERIFY(!rig.player->Tracking());
    }

    void nothingOpen() {
        Rig rig;
        TMediaPlayer *p = rig.player;
        const QImage image = rig.render();
        for (auto b : {btPlay, btPause, btStop}) {
            QCOMPARE(p->glyphSetFor(b), GlyphSet::Greyed);
            QCOMPARE(glyphCentre(image, p, b), face);
        }
        for (int x : {10, 40, 70}) {
            rig.click(x);
            QVERIFY(!p->Tracking());
        }
        QCOMPARE(rig.clicks, 0);
        QCOMPARE(p->FocusButton(), btPlay);
        QVERIFY(rig.layer->requests().isEmpty());

        // Space still follows EnabledButtons, so play runs and finds nothing open; the error is
        // shown where the key arrived and goes no further.
        {
            BoxAnswerer ok(QStringLiteral("OK"));
            QTest::keyPress(p, Qt::Key_Space);
            QCOMPARE(ok.texts, QStringList{QStringLiteral("No MCI device open.")});
        }
        QCOMPARE(rig.clicks, 1);
        QCOMPARE(rig.postClicks, 0);
        QCOMPARE(p->ShownAllowedButtons(), TButtonSet(0));
    }

    void pressesFollowTheDevice() {
        Rig rig;
        TMediaPlayer *p = rig.player;
        auto looks = [&](GlyphSet play, GlyphSet pause, GlyphSet stop) {
            const QImage image = rig.render();
            const QColor colour[] = {QColor(0, 0, 0), face, QColor(0, 255, 0)};
            QCOMPARE(p->glyphSetFor(btPlay), play);
            QCOMPARE(p->glyphSetFor(btPause), pause);
            QCOMPARE(p->glyphSetFor(btStop), stop);
            QCOMPARE(glyphCentre(image, p, btPlay), colour[int(play)]);
            QCOMPARE(glyphCentre(image, p, btPause),
                     pause == GlyphSet::Colored ? QColor(255, 255, 0) : colour[int(pause)]);
            QCOMPARE(glyphCentre(image, p, btStop),
                     stop == GlyphSet::Colored ? QColor(255, 0, 0) : colour[int(stop)]);
        };
        const auto on = GlyphSet::Colored;
        const auto off = GlyphSet::Greyed;

        rig.open();
        looks(on, off, off);
        // The bell clock's own Play leaves the bar alone.
        p->device().Play();
        QCoreApplication::processEvents();
        looks(on, off, off);
        p->device().Stop();
        QCoreApplication::processEvents();

        rig.layer->clearRequests();
        rig.click(10);
        QCOMPARE(rig.layer->commands().filter(QStringLiteral("play")).size(), 1);
        QCOMPARE(rig.clicked.size(), 1);
        QCOMPARE(rig.clicked.first(), btPlay);
        QCOMPARE(rig.postClicks, 1);
        looks(off, on, on);

        rig.click(40);
        QCOMPARE(rig.layer->count(QStringLiteral("pause")), 1);
        QCoreApplication::processEvents();
        looks(on, on, on);
        QCOMPARE(p->FocusButton(), btPause);

        rig.click(40); // resumes
        QCOMPARE(rig.layer->count(QStringLiteral("resume")), 1);
        rig.click(70);
        QCOMPARE(rig.layer->count(QStringLiteral("stop")), 1);
        QCoreApplication::processEvents();
        looks(on, off, off);

        // Played to its end: the completion notice greys pause and stop again.
        rig.click(10);
        QCoreApplication::processEvents();
        looks(off, on, on);
        rig.layer->advance(rig.layer->lastOpened(), 60000);
        QTRY_COMPARE(p->glyphSetFor(btPlay), on);
        QCoreApplication::processEvents();
        looks(on, off, off);
        QCOMPARE(p->device().NotifyResult(), nvSuccessful);

        p->device().Close();
        looks(off, off, off);
    }

    void dragOutAndBackIn() {
        Rig rig;
        rig.open();
        TMediaPlayer *p = rig.player;
        rig.press(10);
        QVERIFY(p->Tracking());
        QVERIFY(p->ShownDown());
        QImage image = rig.render();
        QCOMPARE(image.pixelColor(1, 10), dark); // sunk: shadow on the upper left
        QCOMPARE(image.pixelColor(27, 10), face);
        QCOMPARE(glyphCentre(image, p, btPlay, true), QColor(0, 255, 0));

        rig.move(28); // still inside
        QVERIFY(p->ShownDown());
        rig.move(29); // the press hit here, but the cell's right border is outside
        QVERIFY(!p->ShownDown());
        rig.move(27);
        QVERIFY(p->ShownDown());
        rig.move(40);
        QVERIFY(!p->ShownDown());
        image = rig.render();
        QCOMPARE(image.pixelColor(1, 10), light);
        rig.move(12);
        QVERIFY(p->ShownDown());
        rig.release(12);
        QCOMPARE(rig.clicks, 1);
        QCOMPARE(rig.playCount(), 1);
        QVERIFY(!p->Tracking());
        QVERIFY(!p->ShownDown());
    }

    void releaseOutsideRunsNothing() {
        Rig rig;
        rig.open();
        rig.press(10);
        rig.move(200);
        rig.release(200);
        QCOMPARE(rig.clicks, 0);
        QCOMPARE(rig.playCount(), 0);
        QCOMPARE(rig.player->ShownAllowedButtons() & ButtonBit(btPlay), ButtonBit(btPlay));
    }

    void doubleClickIsTwoClicks() {
        Rig rig;
        rig.open();
        rig.player->setAutoEnable(false);
        rig.press(10);
        rig.release(10);
        rig.doubleClick(10);
        rig.release(10);
        QCOMPARE(rig.clicks, 2);
        QCOMPARE(rig.playCount(), 2);
    }

    void doDefaultFalseSkipsActionButNotTheUpdate() {
        Rig rig;
        rig.open();
        rig.player->OnClick = [&](TMediaPlayer *sender, TMPBtnType button, bool &doDefault) {
            QCOMPARE(sender, rig.player);
            QVERIFY(doDefault);
            QCOMPARE(button, btPlay);
            ++rig.clicks;
            doDefault = false;
        };
        rig.click(10);
        QCOMPARE(rig.clicks, 1);
        QCOMPARE(rig.playCount(), 0);
        QCOMPARE(rig.postClicks, 0);
        QCOMPARE(rig.player->glyphSetFor(btPlay), GlyphSet::Greyed);
        QCOMPARE(rig.player->glyphSetFor(btStop), GlyphSet::Colored);
    }

    void autoEnableFalseFollowsEnabledButtons() {
        Rig rig;
        TMediaPlayer *p = rig.player;
        p->setColoredButtons(ButtonBit(btPlay));
        p->setAutoEnable(false);
        QVERIFY(!p->device().AutoEnable());
        p->setEnabledButtons(ButtonBit(btPlay) | ButtonBit(btStop));
        QCOMPARE(p->glyphSetFor(btPlay), GlyphSet::Colored);
        QCOMPARE(p->glyphSetFor(btPause), GlyphSet::Greyed);
        QCOMPARE(p->glyphSetFor(btStop), GlyphSet::Plain);
        const QImage before = rig.render();
        QCOMPARE(glyphCentre(before, p, btStop), QColor(0, 0, 0));

        rig.open();
        rig.click(10);
        QCoreApplication::processEvents();
        QCOMPARE(rig.render(), before);
        rig.click(40); // pause is not enabled
        QCOMPARE(rig.clicks, 1);

        p->setAutoEnable(true);
        QCOMPARE(p->ShownAllowedButtons(), p->device().AllowedButtons());
        QCOMPARE(p->glyphSetFor(btPlay), GlyphSet::Colored);
        QCOMPARE(p->glyphSetFor(btStop), GlyphSet::Greyed);
    }

    void disabledControlIsGreyed() {
        Rig rig;
        rig.open();
        rig.player->setEnabled(false);
        const QImage image = rig.render();
        for (auto b : {btPlay, btPause, btStop}) {
            QCOMPARE(rig.player->glyphSetFor(b), GlyphSet::Greyed);
            QCOMPARE(glyphCentre(image, rig.player, b), face);
        }
        rig.click(10);
        QCOMPARE(rig.clicks, 0);
    }

    void arrowsReachTheInvisibleEnds() {
        Rig rig;
        TMediaPlayer *p = rig.player;
        QTest::keyClick(p, Qt::Key_Left);
        QCOMPARE(p->FocusButton(), btPlay);
        QTest::keyClick(p, Qt::Key_Right);
        QTest::keyClick(p, Qt::Key_Right);
        QCOMPARE(p->FocusButton(), btStop);
        QTest::keyClick(p, Qt::Key_Right);
        QCOMPARE(p->FocusButton(), btEject);
        QTest::keyClick(p, Qt::Key_Right);
        QCOMPARE(p->FocusButton(), btEject);

        // Nothing open: Eject raises; an open device that cannot eject ignores it.
        {
            BoxAnswerer ok(QStringLiteral("OK"));
            QTest::keyPress(p, Qt::Key_Space);
            QCOMPARE(ok.texts.size(), 1);
        }
        rig.open();
        rig.layer->clearRequests();
        QTest::keyPress(p, Qt::Key_Space);
        QCOMPARE(rig.clicked.last(), btEject);
        QCOMPARE(rig.layer->count(QStringLiteral("door")), 0);

        QTest::keyClick(p, Qt::Key_Left);
        QCOMPARE(p->FocusButton(), btStop);

        QCOMPARE(TMediaPlayer::nextFocus(ButtonBit(btStop), btPlay, false), btPlay);
        QCOMPARE(TMediaPlayer::nextFocus(ButtonBit(btStop), btPlay, true), btStop);
        QCOMPARE(TMediaPlayer::nextFocus(ButtonBit(btPause), btEject, false), btPause);
    }

    void arrowsAreNotTakenByShortcuts() {
        Rig rig;
        int fired = 0;
        QShortcut shortcut(QKeySequence(Qt::Key_Right), &rig.host);
        connect(&shortcut, &QShortcut::activated, [&] { ++fired; });
        rig.player->setFocus();
        QVERIFY(rig.player->hasFocus());
        QTest::keyClick(rig.player, Qt::Key_Right);
        QCOMPARE(rig.player->FocusButton(), btPause);
        QCOMPARE(fired, 0);
    }

    void focusRectangleOnlyOnTheFocusButton() {
        Rig rig;
        TMediaPlayer *p = rig.player;
        QVERIFY(rig.host.isActiveWindow());
        QVERIFY(!p->hasFocus());
        const QImage unfocused = rig.render();
        p->setFocus();
        QVERIFY(p->hasFocus());
        QTest::keyClick(p, Qt::Key_Right);
        QCOMPARE(p->FocusButton(), btPause);
        const QImage focused = rig.render();
        int inPause = 0;
        int elsewhere = 0;
        for (int y = 0; y < focused.height(); ++y)
            for (int x = 0; x < focused.width(); ++x)
                if (focused.pixel(x, y) != unfocused.pixel(x, y))
                    ++((x > 28 && x < 56) ? inPause : elsewhere);
        QVERIFY(inPause > 0);
        QCOMPARE(elsewhere, 0);
        // A dotted frame 3 pixels inside the cell, inverting the face it crosses.
        QCOMPARE(focused.pixelColor(31, 3), QColor(63, 63, 63));
        QCOMPARE(focused.pixelColor(32, 3), face);
        QCOMPARE(focused.pixelColor(31, 2), face);

        // On the invisible btEject no cell carries it.
        QTest::keyClick(p, Qt::Key_Right);
        QTest::keyClick(p, Qt::Key_Right);
        QCOMPARE(p->FocusButton(), btEject);
        QCOMPARE(rig.render(), unfocused);
    }

    void spaceUpdatesWithoutLookingAtTheResult() {
        Rig rig;
        TMediaPlayer *p = rig.player;
        rig.open();
        rig.layer->failRequest(QStringLiteral("play"), MCIERR_DEVICE_NOT_READY);
        QTest::keyPress(p, Qt::Key_Space);
        QVERIFY(p->device().LastError() != 0);
        QCOMPARE(rig.postClicks, 1);
        QCOMPARE(p->glyphSetFor(btPlay), GlyphSet::Greyed);
        QCOMPARE(p->glyphSetFor(btStop), GlyphSet::Colored);
    }

    void failedRequestOnPressKeepsTheCells() {
        Rig rig;
        rig.open();
        rig.layer->failRequest(QStringLiteral("play"), MCIERR_DEVICE_NOT_READY);
        rig.click(10);
        QVERIFY(rig.player->device().LastError() != 0);
        QCOMPARE(rig.postClicks, 1);
        QCOMPARE(rig.player->glyphSetFor(btPlay), GlyphSet::Colored);
        QCOMPARE(rig.player->glyphSetFor(btStop), GlyphSet::Greyed);
    }

    void actionRaisingOnReleaseLeavesNoPressBehind() {
        Rig rig;
        rig.open();
        TMediaPlayer *p = rig.player;
        rig.press(10);
        p->device().Close(); // the bell clock closed the player while the button was held
        {
            BoxAnswerer ok(QStringLiteral("OK"));
            rig.release(10);
            QCOMPARE(ok.texts, QStringList{QStringLiteral("No MCI device open.")});
        }
        QCOMPARE(rig.clicks, 1);
        QCOMPARE(rig.postClicks, 0);
        QVERIFY(!p->Tracking());
        QVERIFY(!p->ShownDown());

        // A later press on a greyed cell, dragged over the old one, completes nothing.
        rig.press(40);
        rig.move(10);
        rig.release(10);
        QCOMPARE(rig.clicks, 1);
        QVERIFY(!p->ShownDown());
    }

    void settersRepaintAndAutoEnableIsIdempotent() {
        Rig rig;
        TMediaPlayer *p = rig.player;
        QSignalSpy applied(&p->device(), &MediaPlayerDevice::allowedButtonsApplied);
        p->setAutoEnable(true);
        QCOMPARE(applied.count(), 0);
        p->setAutoEnable(false);
        p->setAutoEnable(true);
        QCOMPARE(applied.count(), 1);

        QVERIFY(p->setProperty("VisibleButtons", int(threeButtons | ButtonBit(btEject))));
        QCOMPARE(p->VisibleButtons(), TButtonSet(threeButtons | ButtonBit(btEject)));
        QCOMPARE(p->size(), QSize(113, 20));
        QVERIFY(p->setProperty("TabStop", false));
        QCOMPARE(p->focusPolicy(), Qt::NoFocus);
    }

    void barWithoutDeviceStaysGreyUntilItGetsOne() {
        QWidget host;
        host.resize(200, 60);
        auto *bar = new TMediaPlayer(&host);
        bar->setGeometry(10, 10, 85, 20);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QVERIFY(!bar->hasDevice());
        QCOMPARE(bar->glyphSetFor(btPlay), GlyphSet::Greyed);
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(5, 10));
        QTest::keyClick(bar, Qt::Key_Space);

        // A device the bar does not own, as the program hands it; the bar may go first.
        MediaPlayerDevice device(std::make_unique<FakeMediaLayer>());
        bar->setDevice(device);
        device.setFileName(QStringLiteral("zil.wav"));
        device.Open();
        QCOMPARE(bar->glyphSetFor(btPlay), GlyphSet::Colored);
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(5, 10));
        QCOMPARE(device.Mode(), mpPlaying);
        delete bar;
        device.Stop();
    }
};

QTEST_MAIN(TestMediaPlayerBar)
#include "tst_mediaplayerbar.moc"
