#include "MPlayer.h"

#include "ErrorBox.h"
#include "SysColors.h"
#include "ZilError.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

constexpr const char *setPrefixes[] = {"EN", "DI", "CL"};
constexpr const char *imageNames[] = {"MPPLAY", "MPPAUSE", "MPSTOP",   "MPNEXT", "MPPREV",
                                      "MPSTEP", "MPBACK",  "MPRECORD", "MPEJECT"};
constexpr QRgb keyColour = qRgb(128, 128, 0);
constexpr TColor clWindowFrame = 0x80000006;

bool contains(TButtonSet set, TMPBtnType button) {
    return (set & ButtonBit(button)) != 0;
}

TMPBtnType buttonOf(int ordinal) {
    return static_cast<TMPBtnType>(ordinal);
}

} // namespace

TMediaPlayer::TMediaPlayer(QWidget *parent)
    : QWidget(parent) {
    // Every pixel is painted by us, so Qt need not clear the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    loadGlyphs();
    // Tab reaches the bar, a mouse press does not take the focus.
    setFocusPolicy(Qt::TabFocus);
    resize(240, 30);
}

TMediaPlayer::TMediaPlayer(QWidget *parent, std::unique_ptr<MediaLayer> layer)
    : TMediaPlayer(parent) {
    m_ownDevice = std::make_unique<MediaPlayerDevice>(std::move(layer));
    setDevice(*m_ownDevice);
}

TMediaPlayer::~TMediaPlayer() {
    // The device may go on without the bar, and must not call back into a half-gone one.
    if (m_device)
        disconnect(m_device, nullptr, this, nullptr);
    m_ownDevice.reset();
}

void TMediaPlayer::setDevice(MediaPlayerDevice &device) {
    if (m_device)
        disconnect(m_device, nullptr, this, nullptr);
    m_device = &device;
    connect(m_device, &MediaPlayerDevice::allowedButtonsApplied, this, [this] {
        m_shownAllowed = m_device->AllowedButtons();
        update();
    });
    m_shownAllowed = m_device->AllowedButtons();
    update();
}

void TMediaPlayer::loadGlyphs() {
    int widest = 0;
    int tallest = 0;
    for (int set = 0; set < 3; ++set) {
        for (int b = 0; b < 9; ++b) {
            const QString name = QString::asprintf("%s_%s", setPrefixes[set], imageNames[b]);
            QImage image(QStringLiteral(":/player/%1.png").arg(name));
            if (image.isNull())
                throw ZilError(QStringLiteral("Düğme resmi yüklenemedi: %1").arg(name));
            widest = std::max(widest, image.width());
            tallest = std::max(tallest, image.height());

            // Key-colour pixels become transparent, so the face painted beneath shows through.
            QImage drawn = image.convertToFormat(QImage::Format_ARGB32);
            for (int y = 0; y < drawn.height(); ++y) {
                auto *line = reinterpret_cast<QRgb *>(drawn.scanLine(y));
                for (int x = 0; x < drawn.width(); ++x) {
                    if ((line[x] & RGB_MASK) == (keyColour & RGB_MASK))
                        line[x] = qRgba(0, 0, 0, 0);
                }
            }
            m_glyphs[set][b] = std::move(image);
            m_drawGlyphs[set][b] = std::move(drawn);
        }
    }
    m_minCellWidth = widest + 8;
    m_minCellHeight = tallest + 4;
}

const QImage &TMediaPlayer::glyph(GlyphSet set, TMPBtnType button) const {
    return m_glyphs[static_cast<int>(set)][button];
}

void TMediaPlayer::setVisibleButtons(TButtonSet buttons) {
    m_visibleButtons = buttons;
    // The cells keep their width and the bar grows or shrinks. Before the first size change the
    // cell width is 0 and the width would come out negative; zero is held until the window
    // settles it.
    const int n = std::max(1, visibleCount(buttons));
    resize(std::max(0, n * (m_cellWidth - 1) + 1), height());
    update();
}

void TMediaPlayer::setEnabledButtons(TButtonSet buttons) {
    m_enabledButtons = buttons;
    update();
}

void TMediaPlayer::setColoredButtons(TButtonSet buttons) {
    m_coloredButtons = buttons;
    update();
}

bool TMediaPlayer::AutoEnable() const {
    return !m_device || m_device->AutoEnable();
}

void TMediaPlayer::setAutoEnable(bool autoEnable) {
    if (!m_device || autoEnable == m_device->AutoEnable())
        return;
    m_device->setAutoEnable(autoEnable);
    if (autoEnable)
        m_device->ApplyAllowedButtons();
    else
        update();
}

bool TMediaPlayer::TabStop() const {
    return (focusPolicy() & Qt::TabFocus) != 0;
}

void TMediaPlayer::setTabStop(bool tabStop) {
    setFocusPolicy(tabStop ? Qt::TabFocus : Qt::NoFocus);
}

int TMediaPlayer::visibleCount(TButtonSet visible) {
    int n = 0;
    for (int b = btPlay; b <= btEject; ++b)
        n += contains(visible, buttonOf(b)) ? 1 : 0;
    return n;
}

int TMediaPlayer::cellWidthFor(int width, int visibleCount) {
    return (width - 1) / std::max(1, visibleCount) + 1;
}

QSize TMediaPlayer::settledSize(QSize size, int visibleCount, int minCellWidth, int minCellHeight,
                                int *cellWidth) {
    const int n = std::max(1, visibleCount);
    // A resize to the wanted size runs the rule again; it is stable after at most two rounds
    // (a width raised to the minimum gives cells of exactly the minimum width).
    for (;;) {
        const int cw = cellWidthFor(size.width(), n);
        const QSize wanted(std::max(n * (cw - 1) + 1, n * (minCellWidth - 1) + 1),
                           std::max(size.height(), minCellHeight));
        if (wanted == size) {
            if (cellWidth)
                *cellWidth = cw;
            return wanted;
        }
        size = wanted;
    }
}

std::optional<MPlayerHit> TMediaPlayer::hitTest(TButtonSet visible, int cellWidth, int x) {
    if (cellWidth <= 0)
        return std::nullopt;
    int c = 0;
    for (int b = btPlay; b <= btEject; ++b) {
        if (!contains(visible, buttonOf(b)))
            continue;
        // Neighbours share a border column; the left cell owns it.
        if (c <= x && x <= c + cellWidth)
            return MPlayerHit{buttonOf(b), c};
        c += cellWidth - 1;
    }
    return std::nullopt;
}

QPoint TMediaPlayer::glyphPosition(int cellLeft, int cellWidth, int height, QSize glyph) {
    return {cellLeft + (cellWidth / 2 - glyph.width() / 2), height / 2 - glyph.height() / 2};
}

TMPBtnType TMediaPlayer::nextFocus(TButtonSet visible, TMPBtnType from, bool right) {
    // The ends are stops even when invisible, so the focus can rest on a button without a cell.
    int b = from;
    if (right) {
        while (b < btEject) {
            ++b;
            if (contains(visible, buttonOf(b)))
                break;
        }
    } else {
        while (b > btPlay) {
            --b;
            if (contains(visible, buttonOf(b)))
                break;
        }
    }
    return buttonOf(b);
}

std::optional<int> TMediaPlayer::cellLeft(TMPBtnType button) const {
    if (!contains(m_visibleButtons, button))
        return std::nullopt;
    int c = 0;
    for (int b = btPlay; b < button; ++b) {
        if (contains(m_visibleButtons, buttonOf(b)))
            c += m_cellWidth - 1;
    }
    return c;
}

bool TMediaPlayer::isActive(TMPBtnType button) const {
    return contains(AutoEnable() ? m_shownAllowed : m_enabledButtons, button);
}

GlyphSet TMediaPlayer::glyphSetFor(TMPBtnType button) const {
    if (!isEnabled() || !isActive(button))
        return GlyphSet::Greyed;
    return contains(m_coloredButtons, button) ? GlyphSet::Colored : GlyphSet::Plain;
}

QRect TMediaPlayer::cellRect(int x) const {
    return {x, 0, m_cellWidth, height()};
}

void TMediaPlayer::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    int cw = 0;
    const QSize wanted =
        settledSize(size(), visibleCount(m_visibleButtons), m_minCellWidth, m_minCellHeight, &cw);
    // Qt delivers the resize below at once only to a visible widget, so the settled cell width is
    // taken here rather than from the event it may or may not cause.
    m_cellWidth = cw;
    if (wanted != size())
        resize(wanted);
}

void TMediaPlayer::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setPen(resolveColor(clWindowFrame, palette()));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, width() - 1, height() - 1);

    int x = 0;
    for (int b = btPlay; b <= btEject; ++b) {
        if (!contains(m_visibleButtons, buttonOf(b)))
            continue;
        paintCell(painter, buttonOf(b), x);
        x += m_cellWidth - 1;
    }
}

void TMediaPlayer::paintCell(QPainter &painter, TMPBtnType button, int x) {
    const QPalette &pal = palette();
    const QColor face = resolveColor(clBtnFace, pal);
    const QColor highlight = resolveColor(clBtnHighlight, pal);
    const QColor shadow = resolveColor(clBtnShadow, pal);
    const int cw = m_cellWidth;
    const int h = height();
    const bool down = m_shownDown && m_device && button == m_device->PressedButton();

    painter.fillRect(QRect(x, 0, cw, h), face);
    painter.setPen(resolveColor(clWindowFrame, pal));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(x, 0, cw - 1, h - 1);

    // Qt lines include their end point, so each ends one pixel short of the corner it meets.
    if (down) {
        painter.setPen(shadow);
        painter.drawLine(x + 1, h - 2, x + 1, 2);
        painter.drawLine(x + 1, 1, x + cw - 2, 1);
    } else {
        painter.setPen(highlight);
        painter.drawLine(x + 1, h - 2, x + 1, 2);
        painter.drawLine(x + 1, 1, x + cw - 2, 1);
        painter.setPen(shadow);
        painter.drawLine(x + 2, h - 2, x + cw - 3, h - 2);
        painter.drawLine(x + cw - 2, h - 2, x + cw - 2, 2);
    }

    const QImage &image = m_drawGlyphs[static_cast<int>(glyphSetFor(button))][button];
    QPoint at = glyphPosition(x, cw, h, image.size());
    if (down)
        at += QPoint(1, 1);
    painter.drawImage(at, image);

    if (hasFocus() && button == m_focusButton) {
        QRect r = QRect(x, 0, cw, h).adjusted(3, 3, -3, -3);
        if (down)
            r.translate(1, 1);
        drawFocusRect(painter, r);
    }
}

void TMediaPlayer::drawFocusRect(QPainter &painter, const QRect &r) {
    // Every other pixel of the frame inverted, as the classic focus rectangle is; styles that
    // tint the whole inside would wash out the glyph. Walking the frame once inverts no pixel
    // twice.
    if (r.width() < 1 || r.height() < 1)
        return;
    QList<QPoint> frame;
    for (int x = r.left(); x <= r.right(); ++x)
        frame.append({x, r.top()});
    for (int y = r.top() + 1; y <= r.bottom(); ++y)
        frame.append({r.right(), y});
    for (int x = r.right() - 1; x >= r.left() && r.bottom() > r.top(); --x)
        frame.append({x, r.bottom()});
    for (int y = r.bottom() - 1; y > r.top() && r.right() > r.left(); --y)
        frame.append({r.left(), y});
    painter.save();
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    for (qsizetype i = 0; i < frame.size(); i += 2)
        painter.fillRect(QRect(frame[i], QSize(1, 1)), Qt::white);
    painter.restore();
}

void TMediaPlayer::pressAt(int x) {
    // A press beside every cell has nothing to act on; the bar stays as it was.
    const std::optional<MPlayerHit> hit = hitTest(m_visibleButtons, m_cellWidth, x);
    if (!m_device || !hit || !isActive(hit->button))
        return;

    m_device->setPressedButton(hit->button);
    if (hit->button != m_focusButton) {
        m_focusButton = hit->button;
        repaint();
    }
    m_pressedRect = cellRect(hit->cellLeft);
    m_tracking = true;
    m_shownDown = true;
    repaint(m_pressedRect);
}

void TMediaPlayer::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        pressAt(event->position().toPoint().x());
}

void TMediaPlayer::mouseDoubleClickEvent(QMouseEvent *event) {
    // The second press of a double click is a press of its own, so it clicks again.
    if (event->button() == Qt::LeftButton)
        pressAt(event->position().toPoint().x());
}

void TMediaPlayer::mouseMoveEvent(QMouseEvent *event) {
    if (!m_tracking)
        return;
    const bool inside = m_pressedRect.contains(event->position().toPoint());
    if (inside != m_shownDown) {
        m_shownDown = inside;
        repaint(cellRect(m_pressedRect.left()));
    }
}

void TMediaPlayer::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton)
        return;
    // Qt's implicit grab ends with this release.
    const bool click = m_tracking && m_shownDown;
    // Tracking ends before the action runs: an action that raises must not leave a press behind
    // that a later drag over this cell could complete.
    m_tracking = false;
    if (!click)
        return;
    m_shownDown = false;
    repaint(cellRect(m_pressedRect.left()));
    runHandler([this] {
        clickSequence();
        if (AutoEnable() && m_device->LastError() == 0 && m_device->IsOpen()) {
            m_device->UpdateAllowedButtons(m_device->PressedButton());
            m_device->ApplyAllowedButtons();
        }
    });
}

void TMediaPlayer::keyPressEvent(QKeyEvent *event) {
    switch (event->key()) {
    case Qt::Key_Space:
        // Space follows EnabledButtons even when AutoEnable is on.
        if (m_device && contains(m_enabledButtons, m_focusButton)) {
            m_device->setPressedButton(m_focusButton);
            runHandler([this] {
                clickSequence();
                if (AutoEnable()) {
                    m_device->UpdateAllowedButtons(m_device->PressedButton());
                    m_device->ApplyAllowedButtons();
                }
            });
        }
        event->accept();
        return;
    case Qt::Key_Right:
    case Qt::Key_Left: {
        const TMPBtnType next =
            nextFocus(m_visibleButtons, m_focusButton, event->key() == Qt::Key_Right);
        if (next != m_focusButton) {
            m_focusButton = next;
            update();
        }
        event->accept();
        return;
    }
    default:
        QWidget::keyPressEvent(event);
    }
}

bool TMediaPlayer::event(QEvent *event) {
    // The arrows are ours, not shortcuts or dialog navigation.
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Left || key->key() == Qt::Key_Right) &&
            key->modifiers() == Qt::NoModifier) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void TMediaPlayer::focusInEvent(QFocusEvent *event) {
    QWidget::focusInEvent(event);
    repaint();
}

void TMediaPlayer::focusOutEvent(QFocusEvent *event) {
    QWidget::focusOutEvent(event);
    repaint();
}

void TMediaPlayer::clickSequence() {
    bool doDefault = true;
    if (OnClick)
        OnClick(this, m_device->PressedButton(), doDefault);
    if (!doDefault)
        return;
    runAction(m_device->PressedButton());
    if (OnPostClick)
        OnPostClick(this, m_device->PressedButton());
}

void TMediaPlayer::runAction(TMPBtnType button) {
    MediaPlayerDevice &d = *m_device;
    switch (button) {
    case btPlay:
        d.Play();
        break;
    case btPause:
        d.Pause();
        break;
    case btStop:
        d.Stop();
        break;
    case btNext:
        d.Next();
        break;
    case btPrev:
        d.Previous();
        break;
    case btStep:
        d.Step();
        break;
    case btBack:
        d.Back();
        break;
    case btRecord:
        d.Record();
        break;
    case btEject:
        d.Eject();
        break;
    }
}
