#include "AdvToolBtn.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>
#include <QtMath>

#include <cmath>

namespace {

QRect shrunk(const QRect &r) {
    return r.adjusted(1, 1, -1, -1);
}
QRect grown(const QRect &r) {
    return r.adjusted(-1, -1, 1, 1);
}

// One-pixel ring: top and left first, then bottom and right, which take the two far corners.
void drawRing(QPainter &painter, const QRect &r, const QColor &topLeft, const QColor &bottomRight) {
    if (r.width() <= 0 || r.height() <= 0)
        return;
    painter.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), topLeft);
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), topLeft);
    painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
    painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
}

QPoint eventPoint(const QMouseEvent *event) {
    return QPoint(qFloor(event->position().x()), qFloor(event->position().y()));
}

// Banker's rounding, as the gradient's band positions and colours need it.
int roundEven(double v) {
    return int(std::nearbyint(v));
}

} // namespace

TAdvToolButton::TAdvToolButton(QWidget *parent)
    : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    // Moves without a press refresh the hot state, so they must arrive.
    setMouseTracking(true);
    resize(23, 22);
}

void TAdvToolButton::setCaption(const QString &caption) {
    if (caption == m_caption)
        return;
    m_caption = caption;
    updateShortcut();
    update();
}

void TAdvToolButton::setAllowAllUp(bool value) {
    if (value == m_allowAllUp)
        return;
    m_allowAllUp = value;
    notifyGroup();
}

void TAdvToolButton::setColor(TColor value) {
    if (value == m_color)
        return;
    m_color = value;
    update();
}

void TAdvToolButton::setColorTo(TColor value) {
    m_colorTo = value;
    update();
}

void TAdvToolButton::setColorChecked(TColor value) {
    m_colorChecked = value;
    update();
}

void TAdvToolButton::setColorCheckedTo(TColor value) {
    m_colorCheckedTo = value;
    update();
}

void TAdvToolButton::setGroupIndex(int value) {
    if (value == m_groupIndex)
        return;
    m_groupIndex = value;
    notifyGroup();
}

void TAdvToolButton::setDown(bool value) {
    if (m_groupIndex == 0 && m_style == tasButton)
        value = false;
    if (m_style == tasCheck) {
        m_down = value;
        repaint();
        return;
    }
    if (value == m_down)
        return;
    // A latched button is released only by another button of its group.
    if (m_down && !m_allowAllUp)
        return;
    m_down = value;
    if (value) {
        if (m_faceState == bfsUp)
            update();
        m_faceState = bfsExclusive;
        notifyGroup();
    } else {
        m_faceState = bfsUp;
        repaint();
    }
}

void TAdvToolButton::setDropDownButton(bool value) {
    m_dropDownButton = value;
    update();
}

void TAdvToolButton::setFlat(bool value) {
    if (value == m_flat)
        return;
    m_flat = value;
    // A framed button is never hot; a hot look left over from the flat form would stay for good.
    if (!m_flat)
        m_pointerInside = false;
    update();
}

void TAdvToolButton::setGlyph(const QImage &image) {
    m_glyph = image;
    if (m_glyphDisabled.isNull())
        m_glyphDisabled = makeDisabledGlyph(m_glyph);
    m_shadeImage = makeShadeImage(m_glyph);
    update();
}

void TAdvToolButton::setGlyphHot(const QImage &image) {
    m_glyphHot = image;
}

void TAdvToolButton::setGlyphDown(const QImage &image) {
    m_glyphDown = image;
}

void TAdvToolButton::setGlyphDisabled(const QImage &image) {
    m_glyphDisabled = image;
}

void TAdvToolButton::setLayout(TButtonLayout value) {
    if (value == m_layout)
        return;
    m_layout = value;
    update();
}

void TAdvToolButton::setMargin(int value) {
    if (value == m_margin || value < -1)
        return;
    m_margin = value;
    update();
}

void TAdvToolButton::setRounded(bool value) {
    m_rounded = value;
    update();
}

void TAdvToolButton::setShaded(bool value) {
    m_shaded = value;
    if (m_shaded)
        m_shadeImage = makeShadeImage(m_glyph);
}

void TAdvToolButton::setSpacing(int value) {
    if (value == m_spacing)
        return;
    m_spacing = value;
    update();
}

void TAdvToolButton::setStyle(TAdvToolButtonStyle value) {
    m_style = value;
    update();
}

void TAdvToolButton::ExecuteClick() {
    static const QMetaMethod clickSignal = QMetaMethod::fromSignal(&TAdvToolButton::OnClick);
    if (m_action && !isSignalConnected(clickSignal))
        m_action->trigger();
    else
        emit OnClick(this);
}

void TAdvToolButton::AfterLoad() {
    if (m_shaded)
        m_shadeImage = makeShadeImage(m_glyph);
}

// --- Painting ---------------------------------------------------------------------------------

TAdvToolButton::TButtonFaceState TAdvToolButton::paintedFaceState() const {
    if (!isEnabled())
        return bfsDisabled;
    if (m_faceState == bfsDisabled)
        return m_down && m_groupIndex != 0 ? bfsExclusive : bfsUp;
    return m_faceState;
}

const QImage &TAdvToolButton::chosenImage() const {
    if (!isEnabled())
        return m_glyphDisabled.isNull() ? m_glyph : m_glyphDisabled;
    if (m_pointerInside) {
        if (m_faceState == bfsDown)
            return m_glyphDown.isNull() ? m_glyph : m_glyphDown;
        return m_glyphHot.isNull() ? m_glyph : m_glyphHot;
    }
    return m_glyph;
}

QSize TAdvToolButton::captionSize(const QFontMetrics &metrics) const {
    if (m_caption.isEmpty())
        return QSize(0, 0);
    // Line breaks start new lines; nothing is wrapped.
    return metrics.size(Qt::TextShowMnemonic, m_caption);
}

TAdvToolButton::FaceGeometry TAdvToolButton::faceGeometry() const {
    return faceGeometry(fontMetrics());
}

TAdvToolButton::FaceGeometry TAdvToolButton::faceGeometry(const QFontMetrics &metrics) const {
    const TButtonFaceState state = paintedFaceState();
    FaceGeometry g;
    QRect r = rect();
    if (!m_flat) {
        r = r.adjusted(2, 2, -2, -2);
    } else {
        if (m_borderDownColor == clNone || m_rounded)
            r = shrunk(r);
        r = shrunk(r);
    }
    g.content = r;

    if (state == bfsDown || state == bfsExclusive) {
        if (!m_flat)
            g.offset = QPoint(1, 1);
    } else if (m_flat && m_pointerInside && isEnabled()) {
        g.offset = QPoint(-1, -1);
    }

    if (m_dropDownButton) {
        const int right = r.x() + r.width();
        const int mid = r.y() + r.height() / 2;
        g.arrow << QPoint(right - 8, mid - 1) << QPoint(right - 4, mid - 1)
                << QPoint(right - 6, mid + 1);
        // Glyph and caption keep off the arrow's zone.
        r.setWidth(r.width() - 12);
    }

    const QSize glyphSize = m_glyph.isNull() ? QSize(0, 0) : m_glyph.size();
    const ContentLayout layout = layoutContent(r, g.offset, glyphSize, captionSize(metrics),
                                               m_layout, m_margin, m_spacing, isRightToLeft());
    g.glyph = layout.glyph;
    g.caption = layout.caption;
    // Only the glyph lifts; the caption stays where it rests.
    if (g.offset == QPoint(-1, -1))
        g.caption.translate(1, 1);
    g.shadow = g.glyph + QPoint(2, 2);
    g.shadowDrawn = m_pointerInside && m_shaded && isEnabled() && state != bfsDown &&
                    !chosenImage().isNull() && !m_shadeImage.isNull();
    return g;
}

TAdvToolButton::ContentLayout TAdvToolButton::layoutContent(const QRect &content, QPoint offset,
                                                            QSize glyph, QSize caption,
                                                            TButtonLayout layout, int margin,
                                                            int spacing, bool rightToLeft) {
    if (rightToLeft) {
        if (layout == blGlyphLeft)
            layout = blGlyphRight;
        else if (layout == blGlyphRight)
            layout = blGlyphLeft;
    }
    const int cw = content.width(), ch = content.height();
    const int gw = glyph.width(), gh = glyph.height();
    const int tw = caption.width(), th = caption.height();
    const bool across = layout == blGlyphLeft || layout == blGlyphRight;

    QPoint g, t;
    if (across) {
        g.setY((ch - gh + 1) / 2);
        t.setY((ch - th + 1) / 2);
    } else {
        g.setX((cw - gw + 1) / 2);
        t.setX((cw - tw + 1) / 2);
    }
    if (tw == 0 || gw == 0)
        spacing = 0;

    const int c = across ? cw : ch;
    const int gs = across ? gw : gh;
    const int ts = across ? tw : th;
    if (margin == -1 && spacing == -1) {
        // Equal gaps before and between; the gap after the last item takes the rest.
        margin = (c - (gs + ts)) / 3;
        spacing = margin;
    } else if (margin == -1) {
        margin = (c - (gs + spacing + ts) + 1) / 2;
    } else if (spacing == -1) {
        spacing = ((c - (margin + gs)) - ts) / 2;
    }

    switch (layout) {
    case blGlyphLeft:
        g.setX(margin);
        t.setX(margin + gw + spacing);
        break;
    case blGlyphRight:
        g.setX(cw - margin - gw);
        t.setX(g.x() - spacing - tw);
        break;
    case blGlyphTop:
        g.setY(margin);
        t.setY(margin + gh + spacing);
        break;
    case blGlyphBottom:
        g.setY(ch - margin - gh);
        t.setY(g.y() - spacing - th);
        break;
    }
    const QPoint shift = content.topLeft() + offset;
    return ContentLayout{g + shift, QRect(t + shift, QSize(tw, th))};
}

std::array<TAdvToolButton::GradientBand, 16>
TAdvToolButton::gradientBands(const QColor &from, const QColor &to, const QRect &r) {
    const double stepR = (to.red() - from.red()) / 16.0;
    const double stepG = (to.green() - from.green()) / 16.0;
    const double stepB = (to.blue() - from.blue()) / 16.0;
    const double h = r.height() / 16.0;
    std::array<GradientBand, 16> bands;
    for (int i = 0; i < 16; ++i) {
        const int top = r.y() + roundEven(i * h);
        const int bottom = top + roundEven(h) + 1; // excluded
        bands[i].rect = QRect(r.x(), top, r.width(), bottom - top);
        bands[i].color =
            QColor(from.red() + roundEven(i * stepR), from.green() + roundEven(i * stepG),
                   from.blue() + roundEven(i * stepB));
    }
    return bands;
}

QImage TAdvToolButton::makeShadeImage(const QImage &glyph) {
    if (glyph.isNull())
        return QImage();
    const QImage src = glyph.convertToFormat(QImage::Format_RGB32);
    const QRgb key = src.pixel(0, src.height() - 1) & RGB_MASK;
    const QRgb grey = qRgb(128, 128, 128);
    QImage shade(src.size(), QImage::Format_RGB32);
    for (int y = 0; y < src.height(); ++y) {
        const QRgb *in = reinterpret_cast<const QRgb *>(src.constScanLine(y));
        QRgb *out = reinterpret_cast<QRgb *>(shade.scanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            // The silhouette goes black and then grey; with a black key the background does too,
            // so a glyph on black has no visible shadow.
            const QRgb v = (in[x] & RGB_MASK) == key ? key : 0;
            out[x] = v == 0 ? grey : (0xFF000000 | v);
        }
    }
    return shade;
}

QImage TAdvToolButton::makeDisabledGlyph(const QImage &glyph) {
    if (glyph.isNull())
        return QImage();
    QImage grey = glyph.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < grey.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(grey.scanLine(y));
        for (int x = 0; x < grey.width(); ++x) {
            const int v = ((qRed(line[x]) + qGreen(line[x]) + qBlue(line[x])) / 3) / 2 + 96;
            line[x] = qRgb(v, v, v);
        }
    }
    return grey;
}

void TAdvToolButton::drawTransparent(QPainter &painter, QPoint at, const QImage &image) {
    if (image.isNull())
        return;
    QImage keyed = image.convertToFormat(QImage::Format_ARGB32);
    // The transparent colour is read afresh each time.
    const QRgb key = keyed.pixel(0, keyed.height() - 1) & RGB_MASK;
    for (int y = 0; y < keyed.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(keyed.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x) {
            if ((line[x] & RGB_MASK) == key)
                line[x] = 0;
        }
    }
    painter.drawImage(at, keyed);
}

void TAdvToolButton::outlinedRect(QPainter &painter, const QRect &r, TColor brush,
                                  TColor pen) const {
    painter.fillRect(r, resolve(brush));
    const QColor outline = resolve(pen);
    drawRing(painter, r, outline, outline);
}

void TAdvToolButton::fillGradient(QPainter &painter, TColor from, TColor to, const QRect &r,
                                  TColor border) const {
    for (const GradientBand &band : gradientBands(resolve(from), resolve(to), r))
        painter.fillRect(band.rect, band.color);
    if (border != clNone) {
        const QColor outline = resolve(border);
        drawRing(painter, r, outline, outline);
    }
}

void TAdvToolButton::drawEdge(QPainter &painter, const QRect &r, bool sunken) const {
    const QColor light = resolve(clBtnHighlight);
    const QColor shadow = resolve(clBtnShadow);
    if (sunken)
        drawRing(painter, r, shadow, light);
    else
        drawRing(painter, r, light, shadow);
}

void TAdvToolButton::drawPushFrame(QPainter &painter, const QRect &r, bool pushed) const {
    const QPalette &pal = palette();
    if (pushed) {
        drawRing(painter, r, pal.color(QPalette::Shadow), pal.color(QPalette::Shadow));
        drawRing(painter, shrunk(r), pal.color(QPalette::Dark), pal.color(QPalette::Dark));
    } else {
        drawRing(painter, r, pal.color(QPalette::Light), pal.color(QPalette::Shadow));
        drawRing(painter, shrunk(r), pal.color(QPalette::Midlight), pal.color(QPalette::Dark));
    }
    painter.fillRect(r.adjusted(2, 2, -2, -2), pal.color(QPalette::Button));
}

void TAdvToolButton::PaintFace(QPainter &painter) {
    painter.save();
    painter.setFont(font());
    const TButtonFaceState state = paintedFaceState();
    const bool pushedLook = state == bfsDown || state == bfsExclusive;
    const FaceGeometry g = faceGeometry(painter.fontMetrics());
    const QColor fontColor = palette().color(foregroundRole());

    QRect r = rect();
    if (!m_flat) {
        drawPushFrame(painter, r, pushedLook);
    } else {
        // The border colour alone decides whether the platform edge is drawn, hot state included.
        if ((pushedLook || (m_pointerInside && state != bfsDisabled)) && !m_rounded &&
            m_borderDownColor == clNone)
            drawEdge(painter, r, pushedLook);
        if (m_borderDownColor == clNone || m_rounded)
            r = shrunk(r);

        if (!m_pointerInside || !isEnabled()) {
            if (m_style == tasCheck && m_down) {
                if (m_colorCheckedTo != clNone)
                    fillGradient(painter, m_colorChecked, m_colorCheckedTo, r, m_borderDownColor);
                else
                    outlinedRect(painter, r, m_colorChecked,
                                 m_borderDownColor == clNone ? m_colorChecked : m_borderDownColor);
            } else if (m_colorTo != clNone) {
                fillGradient(painter, m_color, m_colorTo, r, clNone);
            } else {
                painter.fillRect(r, resolve(m_color));
            }
        } else {
            TColor fill = m_colorHot, end = m_colorHotTo, pen = m_borderHotColor;
            if (state == bfsDown) {
                fill = m_colorDown;
                end = m_colorDownTo;
                pen = m_borderDownColor;
            }
            if (m_style == tasCheck && m_down && state != bfsDown) {
                fill = m_colorChecked;
                end = m_colorCheckedTo;
                pen = m_borderDownColor;
            }
            if (m_rounded)
                pen = clNone;
            if (end != clNone)
                fillGradient(painter, fill, end, r, pen);
            else
                outlinedRect(painter, r, fill, pen == clNone ? fill : pen);

            // An unset border colour draws no line at all.
            const TColor line = state == bfsDown ? m_borderDownColor : m_borderHotColor;
            if (m_rounded) {
                r = grown(r);
                if (line != clNone) {
                    painter.setPen(resolve(line));
                    painter.setBrush(Qt::NoBrush);
                    painter.drawRoundedRect(QRect(r.x(), r.y(), r.width() - 1, r.height() - 1), 4,
                                            4);
                }
            }
            if (m_dropDownButton && line != clNone)
                painter.fillRect(QRect(r.x() + r.width() - 12, r.y(), 1, r.height()),
                                 resolve(line));
        }
    }

    if (state == bfsExclusive && (!m_flat || !m_pointerInside)) {
        if (m_colorCheckedTo != clNone)
            fillGradient(painter, m_colorChecked, m_colorCheckedTo, g.content, clNone);
        else
            painter.fillRect(g.content, resolve(m_colorChecked));
    }

    if (!g.arrow.isEmpty()) {
        painter.setPen(fontColor);
        painter.setBrush(fontColor);
        painter.drawPolygon(g.arrow);
    }

    const QImage &image = chosenImage();
    if (!image.isNull()) {
        if (g.shadowDrawn)
            drawTransparent(painter, g.shadow, m_shadeImage);
        drawTransparent(painter, g.glyph, image);
    }

    if (!m_caption.isEmpty()) {
        const int flags = Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextShowMnemonic;
        painter.setBrush(Qt::NoBrush);
        if (state == bfsDisabled) {
            // Engraved: a highlight copy one pixel down and right, the shadow colour on top.
            painter.setPen(resolve(clBtnHighlight));
            painter.drawText(g.caption.translated(1, 1), flags, m_caption);
            painter.setPen(resolve(clBtnShadow));
        } else {
            painter.setPen(fontColor);
        }
        painter.drawText(g.caption, flags, m_caption);
    }
    painter.restore();
}

void TAdvToolButton::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    PaintFace(painter);
}

// --- Mouse, hot state and notifications -------------------------------------------------------

bool TAdvToolButton::containsPoint(QPoint p) const {
    return p.x() >= 0 && p.x() < width() && p.y() >= 0 && p.y() < height();
}

bool TAdvToolButton::underPointer() const {
    return QApplication::widgetAt(QCursor::pos()) == this;
}

void TAdvToolButton::mousePressEvent(QMouseEvent *event) {
    const QPoint p = eventPoint(event);
    emit OnMouseDown(this, event->button(), event->modifiers(), p.x(), p.y());
    if (event->button() == Qt::LeftButton && isEnabled())
        pressLeft(p);
}

void TAdvToolButton::pressLeft(QPoint p) {
    if (m_dropDownButton && p.x() > width() - 12) {
        // The drop-down zone is not a press: the release does nothing and no click follows.
        m_faceState = bfsUp;
        m_pointerInside = false;
        repaint();
        emit OnDropDown(this);
        return;
    }
    if (!m_down) {
        m_faceState = bfsDown;
        update();
    }
    if (m_style == tasCheck) {
        m_faceState = bfsDown;
        repaint();
    }
    m_pressing = true;
}

void TAdvToolButton::mouseMoveEvent(QMouseEvent *event) {
    const QPoint p = eventPoint(event);
    emit OnMouseMove(this, event->modifiers(), p.x(), p.y());
    if (m_pressing) {
        TButtonFaceState next = m_down ? bfsExclusive : bfsUp;
        if (containsPoint(p))
            next = m_down ? bfsExclusive : bfsDown;
        if (m_style == tasCheck && m_down)
            next = bfsDown;
        if (next != m_faceState) {
            m_faceState = next;
            update();
        }
    } else if (!m_pointerInside) {
        refreshHotState();
    }
}

void TAdvToolButton::mouseReleaseEvent(QMouseEvent *event) {
    const QPoint p = eventPoint(event);
    emit OnMouseUp(this, event->button(), event->modifiers(), p.x(), p.y());
    if (!m_pressing)
        return;
    m_pressing = false;
    const bool inside = containsPoint(p);
    if (m_groupIndex == 0) {
        m_faceState = bfsUp;
        m_pointerInside = false;
        // A check button toggles on every release; the click below still needs inside.
        if (m_style == tasCheck) {
            setDown(!m_down);
            m_faceState = bfsUp;
        }
        if (inside)
            update();
    } else if (inside) {
        setDown(!m_down);
        if (m_down)
            repaint();
    } else {
        if (m_down)
            m_faceState = bfsExclusive;
        repaint();
    }
    if (inside)
        ExecuteClick();
    refreshHotState();
}

void TAdvToolButton::mouseDoubleClickEvent(QMouseEvent *event) {
    // The second click of a double click is a press as well.
    mousePressEvent(event);
    if (event->button() == Qt::LeftButton && m_down)
        emit OnDblClick(this);
}

void TAdvToolButton::enterEvent(QEnterEvent *) {
    pointerEntered();
}

void TAdvToolButton::leaveEvent(QEvent *) {
    pointerLeft();
}

void TAdvToolButton::pointerEntered() {
    const bool captureHeld =
        QWidget::mouseGrabber() != nullptr || QApplication::activePopupWidget() != nullptr;
    if (m_flat && !m_pointerInside && isEnabled() && !captureHeld) {
        m_pointerInside = true;
        repaint();
    }
    emit OnMouseEnter(this);
}

void TAdvToolButton::pointerLeft() {
    if (m_flat && m_pointerInside && isEnabled() && !m_pressing) {
        m_pointerInside = false;
        update();
    }
    emit OnMouseLeave(this);
}

void TAdvToolButton::refreshHotState() {
    if (!m_flat || !isEnabled())
        return;
    // Forcing the opposite first makes the reaction run in full, so the face is painted again
    // and the event fires even when nothing changed.
    if (underPointer()) {
        m_pointerInside = false;
        pointerEntered();
    } else {
        m_pointerInside = true;
        pointerLeft();
    }
}

void TAdvToolButton::changeEvent(QEvent *event) {
    switch (event->type()) {
    case QEvent::EnabledChange:
        if (!isEnabled()) {
            m_faceState = bfsDisabled;
            m_pressing = false;
        } else if (m_faceState == bfsDisabled) {
            m_faceState = m_down && m_groupIndex != 0 ? bfsExclusive : bfsUp;
        }
        refreshHotState();
        repaint();
        break;
    case QEvent::FontChange:
    case QEvent::PaletteChange:
    case QEvent::LayoutDirectionChange:
        update();
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}

bool TAdvToolButton::event(QEvent *event) {
    if (event->type() == QEvent::Shortcut) {
        auto *shortcut = static_cast<QShortcutEvent *>(event);
        if (m_shortcutId != 0 && shortcut->shortcutId() == m_shortcutId && isEnabled() &&
            isVisible() && parentWidget() && parentWidget()->isVisible()) {
            ExecuteClick();
            return true;
        }
    }
    return QWidget::event(event);
}

void TAdvToolButton::updateShortcut() {
    if (m_shortcutId != 0)
        releaseShortcut(m_shortcutId);
    m_shortcutId = 0;
    const QKeySequence mnemonic = QKeySequence::mnemonic(m_caption);
    if (!mnemonic.isEmpty())
        m_shortcutId = grabShortcut(mnemonic);
}

void TAdvToolButton::notifyGroup() {
    if (m_groupIndex == 0 || !parentWidget())
        return;
    const QObjectList siblings = parentWidget()->children();
    for (QObject *sibling : siblings) {
        if (auto *button = qobject_cast<TAdvToolButton *>(sibling))
            button->groupButtonPressed(m_groupIndex, this);
    }
}

void TAdvToolButton::groupButtonPressed(int groupIndex, TAdvToolButton *sender) {
    if (groupIndex != m_groupIndex || sender == this)
        return;
    if (sender->m_down && m_down) {
        // Released directly: going through setDown would notify the group again.
        m_down = false;
        m_faceState = bfsUp;
        if (m_action && m_action->isCheckable())
            m_action->setChecked(false);
        update();
    }
    m_allowAllUp = sender->m_allowAllUp;
}
