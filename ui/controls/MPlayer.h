#pragma once

// TMediaPlayer, the media player bar: the row of buttons that drive a player device.

#include "MPlayerTypes.h"
#include "MediaLayer.h"
#include "MediaPlayerDevice.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class TMediaPlayer;

// Called before a button's action; clearing DoDefault skips the action and OnPostClick.
using EMPNotify = std::function<void(TMediaPlayer *Sender, TMPBtnType Button, bool &DoDefault)>;
// Called after a button's action.
using EMPPostNotify = std::function<void(TMediaPlayer *Sender, TMPBtnType Button)>;

// The three glyph sets of the bar, in the order of their resource prefixes EN, DI, CL.
enum class GlyphSet { Plain, Greyed, Colored };

// Where a press lands: the button and the left edge of its cell.
struct MPlayerHit {
    TMPBtnType button;
    int cellLeft;
};

// The media player: the row of button cells the user presses, playing through a device
// (MediaPlayerDevice) that the program hands it. The buttons stay greyed until it has one.
class TMediaPlayer : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int VisibleButtons READ visibleButtonsInt WRITE setVisibleButtonsInt)
    Q_PROPERTY(int EnabledButtons READ enabledButtonsInt WRITE setEnabledButtonsInt)
    Q_PROPERTY(int ColoredButtons READ coloredButtonsInt WRITE setColoredButtonsInt)
    Q_PROPERTY(bool AutoEnable READ AutoEnable WRITE setAutoEnable)
    Q_PROPERTY(bool TabStop READ TabStop WRITE setTabStop)

public:
    explicit TMediaPlayer(QWidget *parent = nullptr);
    // A bar with a device of its own, playing through `layer`.
    TMediaPlayer(QWidget *parent, std::unique_ptr<MediaLayer> layer);
    ~TMediaPlayer() override;

    // Plays through `device` from now on; the device must outlive the bar.
    void setDevice(MediaPlayerDevice &device);
    bool hasDevice() const { return m_device != nullptr; }
    MediaPlayerDevice &device() { return *m_device; }
    const MediaPlayerDevice &device() const { return *m_device; }

    TButtonSet VisibleButtons() const { return m_visibleButtons; }
    void setVisibleButtons(TButtonSet buttons);
    TButtonSet EnabledButtons() const { return m_enabledButtons; }
    void setEnabledButtons(TButtonSet buttons);
    TButtonSet ColoredButtons() const { return m_coloredButtons; }
    void setColoredButtons(TButtonSet buttons);
    bool AutoEnable() const;
    void setAutoEnable(bool autoEnable);
    bool TabStop() const;
    void setTabStop(bool tabStop);

    EMPNotify OnClick;
    EMPPostNotify OnPostClick;

    int CellWidth() const { return m_cellWidth; }
    int MinCellWidth() const { return m_minCellWidth; }
    int MinCellHeight() const { return m_minCellHeight; }
    TMPBtnType FocusButton() const { return m_focusButton; }
    // The set the bar last received from the device; what it draws and accepts by.
    TButtonSet ShownAllowedButtons() const { return m_shownAllowed; }
    // True while a pressed cell is drawn sunk.
    bool ShownDown() const { return m_shownDown; }
    bool Tracking() const { return m_tracking; }

    // The loaded glyph, as stored in the resources (key colour still in place).
    const QImage &glyph(GlyphSet set, TMPBtnType button) const;
    // The set a cell of `button` is drawn with in the current state.
    GlyphSet glyphSetFor(TMPBtnType button) const;
    // Whether a press on `button` would be taken in the current state.
    bool isActive(TMPBtnType button) const;
    // Left edge of the cell of a visible button, or nothing when it has no cell.
    std::optional<int> cellLeft(TMPBtnType button) const;

    // Geometry shared by painting, sizing and the mouse, free of any widget state.
    static int visibleCount(TButtonSet visible);
    static int cellWidthFor(int width, int visibleCount);
    // The size a new window size settles on; also gives the cell width that goes with it.
    static QSize settledSize(QSize size, int visibleCount, int minCellWidth, int minCellHeight,
                             int *cellWidth = nullptr);
    // First visible cell that contains x, both border columns included.
    static std::optional<MPlayerHit> hitTest(TButtonSet visible, int cellWidth, int x);
    // Top-left of a w x h glyph in the cell starting at cellLeft, before any sunk offset.
    static QPoint glyphPosition(int cellLeft, int cellWidth, int height, QSize glyph);
    // The button the arrow keys move to from `from`.
    static TMPBtnType nextFocus(TButtonSet visible, TMPBtnType from, bool right);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool event(QEvent *event) override;

private:
    void loadGlyphs();
    void pressAt(int x);
    void clickSequence();
    void runAction(TMPBtnType button);
    void paintCell(QPainter &painter, TMPBtnType button, int x);
    static void drawFocusRect(QPainter &painter, const QRect &r);
    QRect cellRect(int x) const;

    std::unique_ptr<MediaPlayerDevice> m_ownDevice;
    MediaPlayerDevice *m_device = nullptr;
    // Glyphs as stored, and the same with the key colour made transparent for drawing.
    std::array<std::array<QImage, 9>, 3> m_glyphs;
    std::array<std::array<QImage, 9>, 3> m_drawGlyphs;
    int m_minCellWidth = 0;
    int m_minCellHeight = 0;
    TButtonSet m_visibleButtons = AllButtons;
    TButtonSet m_enabledButtons = AllButtons;
    TButtonSet m_coloredButtons = AllButtons;
    TButtonSet m_shownAllowed = 0;
    int m_cellWidth = 0;
    TMPBtnType m_focusButton = btPlay;
    bool m_tracking = false;
    bool m_shownDown = false;
    QRect m_pressedRect;

    int visibleButtonsInt() const { return m_visibleButtons; }
    void setVisibleButtonsInt(int v) { setVisibleButtons(static_cast<TButtonSet>(v)); }
    int enabledButtonsInt() const { return m_enabledButtons; }
    void setEnabledButtonsInt(int v) { setEnabledButtons(static_cast<TButtonSet>(v)); }
    int coloredButtonsInt() const { return m_coloredButtons; }
    void setColoredButtonsInt(int v) { setColoredButtons(static_cast<TButtonSet>(v)); }
};
