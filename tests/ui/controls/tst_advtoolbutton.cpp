#include "AdvToolBtn.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QColor kBackground(255, 0, 255); // what the parent shows where the button paints nothing
const QColor kFace(212, 208, 200);
const QColor kLight(255, 255, 255);
const QColor kDark(100, 100, 100);
const QColor kHot(199, 199, 202);
const QColor kDown(210, 211, 216);
const QColor kChecked(128, 128, 128);
const QColor kShadowGrey(128, 128, 128);
const QColor kGlyphRed(255, 0, 0);

QPalette fixedPalette() {
    QPalette p;
    p.setColor(QPalette::Button, kFace);
    p.setColor(QPalette::Light, kLight);
    p.setColor(QPalette::Dark, kDark);
    p.setColor(QPalette::Shadow, QColor(0, 0, 0));
    p.setColor(QPalette::Midlight, QColor(230, 230, 230));
    p.setColor(QPalette::WindowText, QColor(0, 0, 0));
    return p;
}

// A red square whose bottom-left pixel is the white transparent colour.
QImage redGlyph(int size = 32) {
    QImage img(size, size, QImage::Format_RGB32);
    img.fill(kGlyphRed);
    img.setPixelColor(0, size - 1, Qt::white);
    return img;
}

QColor at(const QImage &img, int x, int y) {
    return img.pixelColor(x, y);
}

void sendMouse(QWidget *w, QEvent::Type type, QPoint p, Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent event(type, QPointF(p), w->mapToGlobal(QPointF(p)), button,
                      type == QEvent::MouseMove ? Qt::MouseButtons(Qt::LeftButton) : held,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

void enter(QWidget *w) {
    QEnterEvent event(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(w, &event);
}

void leave(QWidget *w) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(w, &event);
}

void click(QWidget *w, QPoint p = QPoint(10, 10)) {
    sendMouse(w, QEvent::MouseButtonPress, p);
    sendMouse(w, QEvent::MouseButtonRelease, p);
}

// Counts paint events that reach one widget.
class PaintCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

} // namespace

class TestAdvToolButton : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QWidget> host;

    // A button as the program's windows have it: 89 x 41, flat, a 32 x 32 glyph and a caption.
    TAdvToolButton *programButton(const QString &caption = QStringLiteral("Sil")) {
        auto *b = new TAdvToolButton(host.get());
        b->setGeometry(0, 0, 89, 41);
        b->setCaption(caption);
        b->setGlyph(redGlyph());
        return b;
    }

    QImage render(TAdvToolButton *b) {
        QImage img(b->size(), QImage::Format_RGB32);
        img.fill(kBackground);
        b->render(&img, QPoint(), QRegion(), QWidget::RenderFlags());
        return img;
    }

private slots:
    void init() {
        host = std::make_unique<QWidget>();
        host->setPalette(fixedPalette());
        host->setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
        host->resize(300, 200);
    }
    void cleanup() { host.reset(); }

    void initialValues() {
        TAdvToolButton b;
        QCOMPARE(b.size(), QSize(23, 22));
        QVERIFY(b.Flat());
        QCOMPARE(b.focusPolicy(), Qt::NoFocus);
        QVERIFY(!b.testAttribute(Qt::WA_NativeWindow));
        QCOMPARE(b.Color(), clBtnFace);
        QCOMPARE(b.ColorHot(), TColor(13289415));
        QCOMPARE(b.ColorDown(), TColor(14210002));
        QCOMPARE(b.ColorChecked(), TColor(0x808080));
        for (TColor c : {b.ColorTo(), b.ColorDownTo(), b.ColorHotTo(), b.ColorCheckedTo(),
                         b.BorderDownColor(), b.BorderHotColor()})
            QCOMPARE(c, clNone);
        QCOMPARE(b.Margin(), -1);
        QCOMPARE(b.Spacing(), 4);
        QVERIFY(b.Shaded());
        QCOMPARE(b.Layout(), TAdvToolButton::blGlyphLeft);
        QCOMPARE(b.Style(), TAdvToolButton::tasButton);
        QCOMPARE(b.FaceState(), TAdvToolButton::bfsUp);
    }

    void systemColours() {
        const QPalette p = fixedPalette();
        QCOMPARE(resolveColor(clBtnFace, p), kFace);
        QCOMPARE(resolveColor(clBtnHighlight, p), kLight);
        QCOMPARE(resolveColor(clBtnShadow, p), kDark);
        QCOMPARE(resolveColor(clGray, p), QColor(128, 128, 128));
        QCOMPARE(resolveColor(rgbColor(1, 2, 3), p), QColor(1, 2, 3));
        QCOMPARE(resolveColor(0x00030201, p), QColor(1, 2, 3));
        QCOMPARE(resolveColor(clNone, p).alpha(), 0);
    }

    void looks_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("state");
        QTest::addColumn<QColor>("topLeft");     // outer ring, top-left corner
        QTest::addColumn<QColor>("bottomRight"); // outer ring, bottom-right corner
        QTest::addColumn<QColor>("face");
        QTest::addColumn<QPoint>("lift"); // from the resting place
        QTest::addColumn<bool>("shadow");
        QTest::addColumn<QColor>("glyphColour");

        const QColor disabledRed(138, 138, 138); // greyed automatically from the red glyph
        QTest::newRow("at rest") << "rest" << int(TAdvToolButton::bfsUp) << kBackground
                                 << kBackground << kFace << QPoint(0, 0) << false << kGlyphRed;
        QTest::newRow("pointer over") << "hot" << int(TAdvToolButton::bfsUp) << kLight << kDark
                                      << kHot << QPoint(-1, -1) << true << kGlyphRed;
        QTest::newRow("held, over") << "pressed" << int(TAdvToolButton::bfsDown) << kDark << kLight
                                    << kDown << QPoint(0, 0) << false << kGlyphRed;
        QTest::newRow("held, moved off") << "movedOff" << int(TAdvToolButton::bfsUp) << kLight
                                         << kDark << kHot << QPoint(-1, -1) << true << kGlyphRed;
        QTest::newRow("disabled") << "disabled" << int(TAdvToolButton::bfsDisabled) << kBackground
                                  << kBackground << kFace << QPoint(0, 0) << false << disabledRed;
        QTest::newRow("disabled under the pointer")
            << "disabledHot" << int(TAdvToolButton::bfsDisabled) << kBackground << kBackground
            << kFace << QPoint(0, 0) << false << disabledRed;
    }

    void looks() {
        QFETCH(QString, situation);
        QFETCH(int, state);
        QFETCH(QColor, topLeft);
        QFETCH(QColor, bottomRight);
        QFETCH(QColor, face);
        QFETCH(QPoint, lift);
        QFETCH(bool, shadow);
        QFETCH(QColor, glyphColour);

        TAdvToolButton *b = programButton();
        const QPoint rest = b->faceGeometry().glyph;
        QCOMPARE(rest.y(), 5);
        const QPoint glyph = rest + lift;
        if (situation != "rest" && situation != "disabled")
            enter(b);
        if (situation == "pressed" || situation == "movedOff")
            sendMouse(b, QEvent::MouseButtonPress, QPoint(10, 10));
        if (situation == "movedOff") {
            sendMouse(b, QEvent::MouseMove, QPoint(120, 10));
            leave(b); // ignored while the press lasts
        }
        if (situation.startsWith("disabled"))
            b->setEnabled(false);

        const QImage img = render(b);
        const auto g = b->faceGeometry();
        QCOMPARE(g.content, QRect(QPoint(2, 2), QPoint(86, 38)));
        QCOMPARE(g.glyph, glyph);
        QCOMPARE(g.shadowDrawn, shadow);
        QCOMPARE(int(b->FaceState()), state);

        QCOMPARE(at(img, 0, 0), topLeft);
        QCOMPARE(at(img, 88, 40), bottomRight);
        QCOMPARE(at(img, 4, 37), face); // inside, clear of glyph and caption
        QCOMPARE(at(img, glyph.x(), glyph.y()), glyphColour);
        QCOMPARE(at(img, glyph.x() + 31, glyph.y() + 31), glyphColour);
        QVERIFY(at(img, glyph.x() - 1, glyph.y()) != glyphColour);
        // The shadow shows two pixels right of the lifted glyph's right edge.
        QCOMPARE(at(img, glyph.x() + 33, glyph.y() + 10), shadow ? kShadowGrey : face);
        // The transparent bottom-left pixel of the glyph shows the face.
        QCOMPARE(at(img, glyph.x(), glyph.y() + 31), face);
    }

    void workedLayout() {
        const QRect content(QPoint(2, 2), QPoint(86, 38));
        auto l = TAdvToolButton::layoutContent(content, QPoint(), QSize(32, 32), QSize(20, 13),
                                               TAdvToolButton::blGlyphLeft, -1, 4, false);
        QCOMPARE(l.glyph, QPoint(17, 5));
        QCOMPARE(l.caption, QRect(53, 14, 20, 13));
        l = TAdvToolButton::layoutContent(content, QPoint(-1, -1), QSize(32, 32), QSize(20, 13),
                                          TAdvToolButton::blGlyphLeft, -1, 4, false);
        QCOMPARE(l.glyph, QPoint(16, 4));
    }

    void captionStaysWhileGlyphLifts() {
        TAdvToolButton *b = programButton();
        const auto rest = b->faceGeometry();
        const QSize text = b->fontMetrics().size(Qt::TextShowMnemonic, b->Caption());
        const int margin = (85 - (32 + 4 + text.width()) + 1) / 2;
        QCOMPARE(rest.glyph.x(), 2 + margin);
        QCOMPARE(rest.caption.topLeft(), QPoint(2 + margin + 36, 2 + (37 - text.height() + 1) / 2));
        QCOMPARE(rest.caption.size(), text);
        enter(b);
        const auto hot = b->faceGeometry();
        QCOMPARE(hot.glyph, rest.glyph - QPoint(1, 1));
        QCOMPARE(hot.shadow, rest.glyph + QPoint(1, 1));
        QCOMPARE(hot.caption, rest.caption);
    }

    void layoutRules_data() {
        QTest::addColumn<int>("layout");
        QTest::addColumn<int>("margin");
        QTest::addColumn<int>("spacing");
        QTest::addColumn<QSize>("glyph");
        QTest::addColumn<QSize>("caption");
        QTest::addColumn<bool>("rtl");
        QTest::addColumn<QPoint>("glyphAt");
        QTest::addColumn<QPoint>("captionAt");
        const QSize g(20, 10), t(30, 8), none(0, 0);
        using B = TAdvToolButton;
        QTest::newRow("left") << int(B::blGlyphLeft) << -1 << 4 << g << t << false << QPoint(23, 20)
                              << QPoint(47, 21);
        QTest::newRow("right") << int(B::blGlyphRight) << -1 << 4 << g << t << false
                               << QPoint(57, 20) << QPoint(23, 21);
        QTest::newRow("top") << int(B::blGlyphTop) << -1 << 4 << g << t << false << QPoint(40, 14)
                             << QPoint(35, 28);
        QTest::newRow("bottom") << int(B::blGlyphBottom) << -1 << 4 << g << t << false
                                << QPoint(40, 26) << QPoint(35, 14);
        QTest::newRow("both automatic") << int(B::blGlyphLeft) << -1 << -1 << g << t << false
                                        << QPoint(16, 20) << QPoint(52, 21);
        QTest::newRow("automatic spacing")
            << int(B::blGlyphLeft) << 5 << -1 << g << t << false << QPoint(5, 20) << QPoint(47, 21);
        QTest::newRow("both given")
            << int(B::blGlyphLeft) << 5 << 3 << g << t << false << QPoint(5, 20) << QPoint(28, 21);
        QTest::newRow("left, right to left")
            << int(B::blGlyphLeft) << -1 << 4 << g << t << true << QPoint(57, 20) << QPoint(23, 21);
        QTest::newRow("right, right to left") << int(B::blGlyphRight) << -1 << 4 << g << t << true
                                              << QPoint(23, 20) << QPoint(47, 21);
        QTest::newRow("no caption") << int(B::blGlyphLeft) << -1 << 4 << g << none << false
                                    << QPoint(40, 20) << QPoint(60, 25);
        QTest::newRow("no glyph") << int(B::blGlyphLeft) << -1 << 4 << none << t << false
                                  << QPoint(35, 25) << QPoint(35, 21);
    }

    void layoutRules() {
        QFETCH(int, layout);
        QFETCH(int, margin);
        QFETCH(int, spacing);
        QFETCH(QSize, glyph);
        QFETCH(QSize, caption);
        QFETCH(bool, rtl);
        QFETCH(QPoint, glyphAt);
        QFETCH(QPoint, captionAt);
        const auto l = TAdvToolButton::layoutContent(QRect(10, 100, 100, 50), QPoint(), glyph,
                                                     caption, TAdvToolButton::TButtonLayout(layout),
                                                     margin, spacing, rtl);
        QCOMPARE(l.glyph, glyphAt + QPoint(10, 100));
        QCOMPARE(l.caption, QRect(captionAt + QPoint(10, 100), caption));
    }

    void gradientBands() {
        const auto bands =
            TAdvToolButton::gradientBands(QColor(0, 0, 0), QColor(8, 160, 16), QRect(0, 0, 10, 20));
        // Band tops are round(i * 1.25) with ties to even; each is round(1.25) + 1 rows high.
        const int tops[16] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 11, 12, 14, 15, 16, 18, 19};
        // Red steps by 0.5, so ties decide: 0.5 -> 0, 1.5 -> 2, 2.5 -> 2.
        const int reds[16] = {0, 0, 1, 2, 2, 2, 3, 4, 4, 4, 5, 6, 6, 6, 7, 8};
        for (int i = 0; i < 16; ++i) {
            QCOMPARE(bands[i].rect, QRect(0, tops[i], 10, 2));
            QCOMPARE(bands[i].color, QColor(reds[i], 10 * i, i));
        }
        // The last band reaches one row below the rectangle.
        QCOMPARE(bands[15].rect.bottom(), 20);
    }

    void gradientFace() {
        TAdvToolButton *b = programButton();
        b->setColor(rgbColor(0, 0, 0));
        b->setColorTo(rgbColor(160, 160, 160));
        const QImage img = render(b);
        QCOMPARE(at(img, 4, 1), QColor(0, 0, 0));
        QCOMPARE(at(img, 4, 39), QColor(150, 150, 150));
        QCOMPARE(at(img, 0, 20), kBackground);
    }

    void disabledGlyph() {
        QImage glyph(4, 1, QImage::Format_RGB32);
        glyph.setPixelColor(0, 0, Qt::white);
        glyph.setPixelColor(1, 0, Qt::black);
        glyph.setPixelColor(2, 0, kGlyphRed);
        glyph.setPixelColor(3, 0, QColor(10, 20, 30));
        TAdvToolButton b;
        b.setGlyph(glyph);
        const QImage grey = b.GlyphDisabled();
        QCOMPARE(grey.pixelColor(0, 0), QColor(223, 223, 223));
        QCOMPARE(grey.pixelColor(1, 0), QColor(96, 96, 96));
        QCOMPARE(grey.pixelColor(2, 0), QColor(138, 138, 138));
        QCOMPARE(grey.pixelColor(3, 0), QColor(106, 106, 106));
        // A second glyph leaves the greyed copy of the first.
        b.setGlyph(redGlyph());
        QCOMPARE(b.GlyphDisabled().size(), QSize(4, 1));
    }

    void shadeImage() {
        QImage glyph(3, 3, QImage::Format_RGB32);
        glyph.fill(Qt::white);
        glyph.setPixelColor(1, 1, Qt::blue);
        glyph.setPixelColor(2, 0, Qt::black);
        const QImage shade = TAdvToolButton::makeShadeImage(glyph);
        QCOMPARE(shade.pixelColor(0, 2), QColor(Qt::white));
        QCOMPARE(shade.pixelColor(1, 1), kShadowGrey);
        QCOMPARE(shade.pixelColor(2, 0), kShadowGrey);
        QCOMPARE(shade.pixelColor(0, 0), QColor(Qt::white));
    }

    void blackKeyedGlyphHasNoShadow() {
        TAdvToolButton *b = programButton();
        QImage glyph = redGlyph();
        glyph.setPixelColor(0, 31, Qt::black);
        b->setGlyph(glyph);
        enter(b);
        const QImage img = render(b);
        const QPoint g = b->faceGeometry().glyph;
        QCOMPARE(at(img, g.x(), g.y()), kGlyphRed);
        QCOMPARE(at(img, g.x() + 33, g.y() + 10), kHot);
        QCOMPARE(at(img, g.x() + 10, g.y() + 33), kHot);
    }

    void shadedOffHonoured() {
        TAdvToolButton *b = programButton();
        b->setShaded(false);
        enter(b);
        const QImage img = render(b);
        const QPoint g = b->faceGeometry().glyph;
        QCOMPARE(at(img, g.x(), g.y()), kGlyphRed);
        QCOMPARE(at(img, g.x() + 33, g.y() + 10), kHot);
    }

    void latchedGroupLook() {
        TAdvToolButton *b = programButton();
        const QPoint rest = b->faceGeometry().glyph;
        b->setGroupIndex(1);
        b->setDown(true);
        QCOMPARE(b->FaceState(), TAdvToolButton::bfsExclusive);
        QImage img = render(b);
        QCOMPARE(at(img, 0, 0), kDark); // sunken
        QCOMPARE(at(img, 88, 40), kLight);
        QCOMPARE(at(img, 1, 20), kFace);    // a ring of Color ...
        QCOMPARE(at(img, 2, 37), kChecked); // ... and ColorChecked within
        enter(b);
        img = render(b);
        QCOMPARE(at(img, 0, 0), kDark);
        QCOMPARE(at(img, 2, 37), kHot);
        QCOMPARE(b->faceGeometry().glyph, rest);
        QVERIFY(b->faceGeometry().shadowDrawn);
        QCOMPARE(at(img, rest.x() + 33, 20), kShadowGrey);
    }

    void framedButton() {
        TAdvToolButton *b = programButton();
        const QPoint rest = b->faceGeometry().glyph;
        b->setFlat(false);
        enter(b);
        QVERIFY(!b->PointerInside());
        QCOMPARE(b->faceGeometry().content, QRect(2, 2, 85, 37));
        sendMouse(b, QEvent::MouseButtonPress, QPoint(10, 10));
        QCOMPARE(b->faceGeometry().glyph, rest + QPoint(1, 1));
        const QImage img = render(b);
        QCOMPARE(at(img, 0, 0), QColor(0, 0, 0));
        QCOMPARE(at(img, 4, 37), kFace);
    }

    void borderColourWithoutEdge() {
        TAdvToolButton *b = programButton();
        b->setBorderHotColor(rgbColor(0, 0, 255));
        b->setBorderDownColor(rgbColor(0, 128, 0));
        enter(b);
        QImage img = render(b);
        QCOMPARE(at(img, 0, 0), QColor(0, 0, 255));
        QCOMPARE(at(img, 1, 1), kHot);
        sendMouse(b, QEvent::MouseButtonPress, QPoint(10, 10));
        img = render(b);
        QCOMPARE(at(img, 0, 0), QColor(0, 128, 0));
    }

    void roundedWithoutBorderDrawsNoLine() {
        TAdvToolButton *b = programButton();
        b->setRounded(true);
        b->setDropDownButton(true);
        enter(b);
        const QImage img = render(b);
        // No edge, no outline: the outer ring shows the parent, the face fills inside it.
        QCOMPARE(at(img, 0, 20), kBackground);
        QCOMPARE(at(img, 88, 20), kBackground);
        QCOMPARE(at(img, 1, 20), kHot);
        QCOMPARE(at(img, 89 - 1 - 12, 30), kHot);
    }

    void groupOfThree() {
        TAdvToolButton *b[3];
        for (int i = 0; i < 3; ++i) {
            b[i] = new TAdvToolButton(host.get());
            b[i]->setGeometry(i * 30, 0, 25, 25);
            b[i]->setGroupIndex(1);
        }
        QSignalSpy clicks1(b[1], &TAdvToolButton::OnClick);
        click(b[0]);
        QVERIFY(b[0]->Down());
        click(b[1]);
        QVERIFY(!b[0]->Down());
        QCOMPARE(b[0]->FaceState(), TAdvToolButton::bfsUp);
        QVERIFY(b[1]->Down());
        QCOMPARE(b[1]->FaceState(), TAdvToolButton::bfsExclusive);
        click(b[1]);
        QVERIFY(b[1]->Down());
        QCOMPARE(clicks1.count(), 2);
        b[1]->setDown(false);
        QVERIFY(b[1]->Down());

        b[2]->setAllowAllUp(true);
        for (auto *x : b)
            QVERIFY(x->AllowAllUp());
        click(b[1]);
        QVERIFY(!b[1]->Down());
        QCOMPARE(b[1]->FaceState(), TAdvToolButton::bfsUp);
        for (auto *x : b)
            QVERIFY(!x->Down());
    }

    void ungroupedPushButtonNeverDown() {
        TAdvToolButton *b = programButton();
        b->setDown(true);
        QVERIFY(!b->Down());
    }

    void checkStyle() {
        TAdvToolButton *b = programButton();
        b->setStyle(TAdvToolButton::tasCheck);
        QSignalSpy clicks(b, &TAdvToolButton::OnClick);
        sendMouse(b, QEvent::MouseButtonPress, QPoint(10, 10));
        sendMouse(b, QEvent::MouseMove, QPoint(200, 10));
        QCOMPARE(b->FaceState(), TAdvToolButton::bfsUp);
        sendMouse(b, QEvent::MouseButtonRelease, QPoint(200, 10));
        QVERIFY(b->Down());
        QCOMPARE(clicks.count(), 0);
        QCOMPARE(b->FaceState(), TAdvToolButton::bfsUp);
        click(b);
        QVERIFY(!b->Down());
        QCOMPARE(clicks.count(), 1);
        // A Down check button keeps the pressed face while held, wherever the pointer goes.
        b->setDown(true);
        sendMouse(b, QEvent::MouseButtonPress, QPoint(10, 10));
        sendMouse(b, QEvent::MouseMove, QPoint(200, 10));
        QCOMPARE(b->FaceState(), TAdvToolButton::bfsDown);
    }

    void clickInsideAndOutside_data() {
        QTest::addColumn<QPoint>("releaseAt");
        QTest::addColumn<int>("clicks");
        QTest::newRow("inside") << QPoint(10, 10) << 1;
        QTest::newRow("last row") << QPoint(10, 40) << 1;
        QTest::newRow("row just below") << QPoint(10, 41) << 0;
        QTest::newRow("column just right") << QPoint(89, 10) << 0;
        QTest::newRow("above") << QPoint(10, -1) << 0;
    }

    void clickInsideAndOutside() {
        QFETCH(QPoint, releaseAt);
        QFETCH(int, clicks);
        TAdvToolButton *b = programButton();
        QSignalSpy spy(b, &TAdvToolButton::OnClick);
        QSignalSpy entered(b, &TAdvToolButton::OnMouseEnter);
        QSignalSpy left(b, &TAdvToolButton::OnMouseLeave);
        sendMouse(b, QEvent::MouseButtonPress, QPoint(10, 10));
        QCOMPARE(b->FaceState(), TAdvToolButton::bfsDown);
        sendMouse(b, QEvent::MouseMove, releaseAt);
        sendMouse(b, QEvent::MouseButtonRelease, releaseAt);
        QCOMPARE(spy.count(), clicks);
        QCOMPARE(b->FaceState(), TAdvToolButton::bfsUp);
        QVERIFY(!b->Pressing());
        // The hot state is refreshed after the release although no border was crossed.
        QCOMPARE(entered.count() + left.count(), 1);
    }

    void otherButtonsChangeNothing() {
        TAdvToolButton *b = programButton();
        QSignalSpy downs(b, &TAdvToolButton::OnMouseDown);
        QSignalSpy spy(b, &TAdvToolButton::OnClick);
        sendMouse(b, QEvent::MouseButtonPress, QPoint(10, 10), Qt::RightButton);
        QCOMPARE(b->FaceState(), TAdvToolButton::bfsUp);
        QVERIFY(!b->Pressing());
        sendMouse(b, QEvent::MouseButtonRelease, QPoint(10, 10), Qt::RightButton);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(downs.count(), 1);
        QCOMPARE(downs.at(0).at(1).value<Qt::MouseButton>(), Qt::RightButton);
    }

    void dropDownZone_data() {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("dropDowns");
        QTest::addColumn<int>("clicks");
        QTest::newRow("in the zone") << 78 << 1 << 0;
        QTest::newRow("at its edge") << 77 << 0 << 1;
    }

    void dropDownZone() {
        QFETCH(int, x);
        QFETCH(int, dropDowns);
        QFETCH(int, clicks);
        TAdvToolButton *b = programButton();
        b->setDropDownButton(true);
        enter(b);
        QSignalSpy drop(b, &TAdvToolButton::OnDropDown);
        QSignalSpy spy(b, &TAdvToolButton::OnClick);
        click(b, QPoint(x, 10));
        QCOMPARE(drop.count(), dropDowns);
        QCOMPARE(spy.count(), clicks);
        QCOMPARE(b->FaceState(), TAdvToolButton::bfsUp);
        // The arrow's zone is kept clear of glyph and caption.
        QCOMPARE(b->faceGeometry().arrow.size(), 3);
    }

    void doubleClick_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("dblClicks");
        QTest::newRow("push button") << int(TAdvToolButton::tasButton) << 0;
        QTest::newRow("check button, down") << int(TAdvToolButton::tasCheck) << 1;
    }

    void doubleClick() {
        QFETCH(int, style);
        QFETCH(int, dblClicks);
        TAdvToolButton *b = programButton();
        b->setStyle(TAdvToolButton::TAdvToolButtonStyle(style));
        QSignalSpy spy(b, &TAdvToolButton::OnDblClick);
        click(b);
        sendMouse(b, QEvent::MouseButtonDblClick, QPoint(10, 10));
        sendMouse(b, QEvent::MouseButtonRelease, QPoint(10, 10));
        QCOMPARE(spy.count(), dblClicks);
    }

    void marginBelowMinusOneIgnored() {
        TAdvToolButton b;
        b.setMargin(3);
        b.setMargin(-2);
        QCOMPARE(b.Margin(), 3);
        b.setMargin(-1);
        QCOMPARE(b.Margin(), -1);
    }

    void executeClickLeavesFace() {
        TAdvToolButton *b = programButton();
        enter(b);
        const QImage before = render(b);
        QSignalSpy spy(b, &TAdvToolButton::OnClick);
        b->ExecuteClick();
        QCOMPARE(spy.count(), 1);
        QVERIFY(b->PointerInside());
        QCOMPARE(b->FaceState(), TAdvToolButton::bfsUp);
        QCOMPARE(render(b), before);
    }

    void executeClickRunsActionWithoutHandler() {
        TAdvToolButton *b = programButton();
        QAction action;
        QSignalSpy triggered(&action, &QAction::triggered);
        b->setAction(&action);
        b->ExecuteClick();
        QCOMPARE(triggered.count(), 1);
        int handled = 0;
        connect(b, &TAdvToolButton::OnClick, this, [&] { ++handled; });
        b->ExecuteClick();
        QCOMPARE(triggered.count(), 1);
        QCOMPARE(handled, 1);
    }

    void hover() {
        TAdvToolButton *b = programButton();
        QSignalSpy entered(b, &TAdvToolButton::OnMouseEnter);
        QSignalSpy left(b, &TAdvToolButton::OnMouseLeave);
        enter(b);
        QVERIFY(b->PointerInside());
        leave(b);
        QVERIFY(!b->PointerInside());
        QCOMPARE(entered.count(), 1);
        QCOMPARE(left.count(), 1);

        // Disabled or framed: no hot look, but the events still fire.
        b->setEnabled(false);
        enter(b);
        QVERIFY(!b->PointerInside());
        b->setEnabled(true);
        b->setFlat(false);
        enter(b);
        QVERIFY(!b->PointerInside());
        QVERIFY(entered.count() >= 3);

        // Framing a hot button ends the hot look.
        b->setFlat(true);
        enter(b);
        QVERIFY(b->PointerInside());
        b->setFlat(false);
        QVERIFY(!b->PointerInside());
        QVERIFY(!b->faceGeometry().shadowDrawn);
    }

    void hotStateFollowsPointerAfterRelease_data() {
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<bool>("hot");
        QTest::newRow("pointer on the button") << QPoint(10, 10) << true;
        QTest::newRow("pointer beside it") << QPoint(150, 100) << false;
    }

    void hotStateFollowsPointerAfterRelease() {
        QFETCH(QPoint, pointer);
        QFETCH(bool, hot);
        TAdvToolButton *b = programButton();
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
        QCursor::setPos(host->mapToGlobal(pointer));
        QCoreApplication::processEvents();
        QSignalSpy entered(b, &TAdvToolButton::OnMouseEnter);
        QSignalSpy left(b, &TAdvToolButton::OnMouseLeave);
        click(b);
        QCOMPARE(b->PointerInside(), hot);
        QCOMPARE(entered.count(), hot ? 1 : 0);
        QCOMPARE(left.count(), hot ? 0 : 1);
    }

    void setterInvalidation_data() {
        QTest::addColumn<QString>("property");
        QTest::addColumn<bool>("paints");
        QTest::newRow("ColorHot") << "ColorHot" << false;
        QTest::newRow("ColorDown") << "ColorDown" << false;
        QTest::newRow("BorderHotColor") << "BorderHotColor" << false;
        QTest::newRow("BorderDownColor") << "BorderDownColor" << false;
        QTest::newRow("ColorTo") << "ColorTo" << true;
        QTest::newRow("ColorChecked") << "ColorChecked" << true;
        QTest::newRow("ColorCheckedTo") << "ColorCheckedTo" << true;
        QTest::newRow("Rounded") << "Rounded" << true;
        QTest::newRow("DropDownButton") << "DropDownButton" << true;
        QTest::newRow("Style") << "Style" << true;
        QTest::newRow("Color") << "Color" << false; // same value: nothing to do
    }

    void setterInvalidation() {
        QFETCH(QString, property);
        QFETCH(bool, paints);
        TAdvToolButton *b = programButton();
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
        QCoreApplication::processEvents();
        PaintCounter counter;
        b->installEventFilter(&counter);
        // Set each to the value it already has, so only an unconditional invalidate paints.
        const QByteArray name = property.toLatin1();
        QVERIFY(b->setProperty(name.constData(), b->property(name.constData())));
        QTRY_VERIFY_WITH_TIMEOUT(counter.count > 0 || !paints, 1000);
        QCoreApplication::processEvents();
        QCOMPARE(counter.count > 0, paints);
    }

    void accelerator() {
        TAdvToolButton *b = programButton(QStringLiteral("&Yeni Kayıt"));
        QSignalSpy spy(b, &TAdvToolButton::OnClick);
        host->show();
        QApplication::setActiveWindow(host.get());
        QVERIFY(QTest::qWaitForWindowActive(host.get()));
        QTest::keyClick(host.get(), Qt::Key_Y, Qt::AltModifier);
        QCOMPARE(spy.count(), 1);
        b->setEnabled(false);
        QTest::keyClick(host.get(), Qt::Key_Y, Qt::AltModifier);
        QCOMPARE(spy.count(), 1);
        b->setEnabled(true);
        b->setCaption(QStringLiteral("Ka&ydet"));
        QTest::keyClick(host.get(), Qt::Key_Y, Qt::AltModifier);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(b->FaceState(), TAdvToolButton::bfsUp);
    }

    void pictures_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QColor>("background");
        const QColor white(255, 255, 255), grey(200, 200, 200);
        QTest::newRow("Yeni Kayıt") << "yeni" << QSize(35, 35) << white;
        QTest::newRow("Düzenle") << "duzenle" << QSize(32, 32) << grey;
        QTest::newRow("Sil") << "sil" << QSize(34, 34) << white;
        QTest::newRow("Çıkış") << "cikis" << QSize(32, 32) << grey;
        QTest::newRow("Kaydet") << "kaydet" << QSize(35, 35) << white;
    }

    void pictures() {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QFETCH(QColor, background);
        const QImage glyph(QStringLiteral(":/buttons/%1.png").arg(name));
        QCOMPARE(glyph.size(), size);
        QCOMPARE(glyph.pixelColor(0, size.height() - 1), background);
        const QImage disabled(QStringLiteral(":/buttons/%1_disabled.png").arg(name));
        QCOMPARE(disabled.size(), QSize(32, 32));
        QCOMPARE(disabled.pixelColor(0, 31), QColor(196, 196, 196));
        // Something shows when drawn transparently.
        for (const QImage &img : {glyph, disabled}) {
            QImage canvas(img.size(), QImage::Format_RGB32);
            canvas.fill(kBackground);
            QPainter p(&canvas);
            TAdvToolButton::drawTransparent(p, QPoint(), img);
            p.end();
            int shown = 0;
            for (int y = 0; y < canvas.height(); ++y)
                for (int x = 0; x < canvas.width(); ++x)
                    shown += canvas.pixelColor(x, y) != kBackground;
            QVERIFY(shown > img.width() * img.height() / 4);
        }
    }
};

QTEST_MAIN(TestAdvToolButton)
#include "tst_advtoolbutton.moc"
