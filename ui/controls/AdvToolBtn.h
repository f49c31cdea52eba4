#pragma once

#include "SysColors.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <array>

class QAction;
class QFontMetrics;
class QPainter;

// TAdvToolButton, the flat command button of the windows: a glyph beside a caption, with hot,
// pressed, latched, check and disabled looks, gradient faces, a rounded outline, a drop-down zone
// and exclusive groups among the buttons of one parent. It never takes the keyboard focus.
class TAdvToolButton : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(QString Hint READ Hint WRITE setHint)
    Q_PROPERTY(bool AllowAllUp READ AllowAllUp WRITE setAllowAllUp)
    Q_PROPERTY(quint32 BorderDownColor READ BorderDownColor WRITE setBorderDownColor)
    Q_PROPERTY(quint32 BorderHotColor READ BorderHotColor WRITE setBorderHotColor)
    Q_PROPERTY(quint32 Color READ Color WRITE setColor)
    Q_PROPERTY(quint32 ColorTo READ ColorTo WRITE setColorTo)
    Q_PROPERTY(quint32 ColorDown READ ColorDown WRITE setColorDown)
    Q_PROPERTY(quint32 ColorDownTo READ ColorDownTo WRITE setColorDownTo)
    Q_PROPERTY(quint32 ColorHot READ ColorHot WRITE setColorHot)
    Q_PROPERTY(quint32 ColorHotTo READ ColorHotTo WRITE setColorHotTo)
    Q_PROPERTY(quint32 ColorChecked READ ColorChecked WRITE setColorChecked)
    Q_PROPERTY(quint32 ColorCheckedTo READ ColorCheckedTo WRITE setColorCheckedTo)
    Q_PROPERTY(int GroupIndex READ GroupIndex WRITE setGroupIndex)
    Q_PROPERTY(bool Down READ Down WRITE setDown)
    Q_PROPERTY(bool DropDownButton READ DropDownButton WRITE setDropDownButton)
    Q_PROPERTY(bool Flat READ Flat WRITE setFlat)
    Q_PROPERTY(QImage Glyph READ Glyph WRITE setGlyph)
    Q_PROPERTY(QImage GlyphHot READ GlyphHot WRITE setGlyphHot)
    Q_PROPERTY(QImage GlyphDown READ GlyphDown WRITE setGlyphDown)
    Q_PROPERTY(QImage GlyphDisabled READ GlyphDisabled WRITE setGlyphDisabled)
    Q_PROPERTY(TButtonLayout Layout READ Layout WRITE setLayout)
    Q_PROPERTY(int Margin READ Margin WRITE setMargin)
    Q_PROPERTY(bool Rounded READ Rounded WRITE setRounded)
    Q_PROPERTY(bool Shaded READ Shaded WRITE setShaded)
    Q_PROPERTY(int Spacing READ Spacing WRITE setSpacing)
    Q_PROPERTY(TAdvToolButtonStyle Style READ Style WRITE setStyle)
    Q_PROPERTY(int Tag READ Tag WRITE setTag)

public:
    enum TAdvToolButtonStyle { tasButton = 0, tasCheck = 1 };
    Q_ENUM(TAdvToolButtonStyle)
    enum TButtonLayout { blGlyphLeft = 0, blGlyphRight = 1, blGlyphTop = 2, blGlyphBottom = 3 };
    Q_ENUM(TButtonLayout)
    enum TButtonFaceState { bfsUp = 0, bfsDisabled = 1, bfsDown = 2, bfsExclusive = 3 };
    Q_ENUM(TButtonFaceState)

    explicit TAdvToolButton(QWidget *parent = nullptr);

    QString Caption() const { return m_caption; }
    void setCaption(const QString &caption);
    QString Hint() const { return toolTip(); }
    void setHint(const QString &hint) { setToolTip(hint); }
    int Tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    // Runs when the button has no OnClick receiver of its own.
    QAction *Action() const { return m_action; }
    void setAction(QAction *action) { m_action = action; }

    bool AllowAllUp() const { return m_allowAllUp; }
    void setAllowAllUp(bool value);
    TColor BorderDownColor() const { return m_borderDownColor; }
    void setBorderDownColor(TColor value) { m_borderDownColor = value; }
    TColor BorderHotColor() const { return m_borderHotColor; }
    void setBorderHotColor(TColor value) { m_borderHotColor = value; }
    TColor Color() const { return m_color; }
    void setColor(TColor value);
    TColor ColorTo() const { return m_colorTo; }
    void setColorTo(TColor value);
    TColor ColorDown() const { return m_colorDown; }
    void setColorDown(TColor value) { m_colorDown = value; }
    TColor ColorDownTo() const { return m_colorDownTo; }
    void setColorDownTo(TColor value) { m_colorDownTo = value; }
    TColor ColorHot() const { return m_colorHot; }
    void setColorHot(TColor value) { m_colorHot = value; }
    TColor ColorHotTo() const { return m_colorHotTo; }
    void setColorHotTo(TColor value) { m_colorHotTo = value; }
    TColor ColorChecked() const { return m_colorChecked; }
    void setColorChecked(TColor value);
    TColor ColorCheckedTo() const { return m_colorCheckedTo; }
    void setColorCheckedTo(TColor value);
    int GroupIndex() const { return m_groupIndex; }
    void setGroupIndex(int value);
    bool Down() const { return m_down; }
    void setDown(bool value);
    bool DropDownButton() const { return m_dropDownButton; }
    void setDropDownButton(bool value);
    bool Flat() const { return m_flat; }
    void setFlat(bool value);
    const QImage &Glyph() const { return m_glyph; }
    void setGlyph(const QImage &image);
    const QImage &GlyphHot() const { return m_glyphHot; }
    void setGlyphHot(const QImage &image);
    const QImage &GlyphDown() const { return m_glyphDown; }
    void setGlyphDown(const QImage &image);
    const QImage &GlyphDisabled() const { return m_glyphDisabled; }
    void setGlyphDisabled(const QImage &image);
    TButtonLayout Layout() const { return m_layout; }
    void setLayout(TButtonLayout value);
    int Margin() const { return m_margin; }
    void setMargin(int value);
    bool Rounded() const { return m_rounded; }
    void setRounded(bool value);
    bool Shaded() const { return m_shaded; }
    void setShaded(bool value);
    int Spacing() const { return m_spacing; }
    void setSpacing(int value);
    TAdvToolButtonStyle Style() const { return m_style; }
    void setStyle(TAdvToolButtonStyle value);

    TButtonFaceState FaceState() const { return m_faceState; }
    bool PointerInside() const { return m_pointerInside; }
    bool Pressing() const { return m_pressing; }
    const QImage &ShadeImage() const { return m_shadeImage; }

    // The button's command: OnClick, or the Action when nothing receives OnClick. The face
    // does not change.
    void ExecuteClick();
    // To be called once the windows have set the stored properties.
    void AfterLoad();
    void PaintFace(QPainter &painter);

    // Where things go on the face in the current state.
    struct FaceGeometry {
        QRect content; // after the edges, before the drop-down zone is taken off
        QPoint offset; // (1, 1) pushed, (-1, -1) hot lift
        QPoint glyph;  // top-left of the glyph
        QPoint shadow; // top-left of the hot shadow, when one is drawn
        bool shadowDrawn = false;
        QRect caption;  // the rectangle the caption is centred in
        QPolygon arrow; // drop-down arrow, empty without a drop-down zone
    };
    FaceGeometry faceGeometry() const;

    struct ContentLayout {
        QPoint glyph;
        QRect caption;
    };
    // Glyph and caption positions in the content rectangle; margin and spacing of -1 mean
    // automatic.
    static ContentLayout layoutContent(const QRect &content, QPoint offset, QSize glyph,
                                       QSize caption, TButtonLayout layout, int margin, int spacing,
                                       bool rightToLeft);

    struct GradientBand {
        QRect rect;
        QColor color;
    };
    // The 16 vertical bands of a gradient over r; they overlap and the last one may reach one
    // row below r.
    static std::array<GradientBand, 16> gradientBands(const QColor &from, const QColor &to,
                                                      const QRect &r);
    // The grey silhouette drawn as the hot shadow, on the glyph's transparent colour.
    static QImage makeShadeImage(const QImage &glyph);
    // The greyed picture used when disabled (greys 96 to 223).
    static QImage makeDisabledGlyph(const QImage &glyph);
    // Draws image with every pixel of its bottom-left colour left out.
    static void drawTransparent(QPainter &painter, QPoint at, const QImage &image);

signals:
    void OnClick(TAdvToolButton *sender);
    void OnDblClick(TAdvToolButton *sender);
    void OnMouseEnter(TAdvToolButton *sender);
    void OnMouseLeave(TAdvToolButton *sender);
    void OnDropDown(TAdvToolButton *sender);
    void OnMouseDown(TAdvToolButton *sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
                     int x, int y);
    void OnMouseUp(TAdvToolButton *sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
                   int x, int y);
    void OnMouseMove(TAdvToolButton *sender, Qt::KeyboardModifiers shift, int x, int y);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    TButtonFaceState paintedFaceState() const;
    FaceGeometry faceGeometry(const QFontMetrics &metrics) const;
    QSize captionSize(const QFontMetrics &metrics) const;
    bool containsPoint(QPoint p) const;
    bool underPointer() const;
    QColor resolve(TColor c) const { return resolveColor(c, palette()); }
    const QImage &chosenImage() const;
    void outlinedRect(QPainter &painter, const QRect &r, TColor brush, TColor pen) const;
    void pressLeft(QPoint p);
    void pointerEntered();
    void pointerLeft();
    void refreshHotState();
    void notifyGroup();
    void groupButtonPressed(int groupIndex, TAdvToolButton *sender);
    void updateShortcut();
    void fillGradient(QPainter &painter, TColor from, TColor to, const QRect &r,
                      TColor border) const;
    void drawEdge(QPainter &painter, const QRect &r, bool sunken) const;
    void drawPushFrame(QPainter &painter, const QRect &r, bool pushed) const;

    QString m_caption;
    int m_tag = 0;
    QPointer<QAction> m_action;
    int m_shortcutId = 0;

    bool m_allowAllUp = false;
    TColor m_borderDownColor = clNone;
    TColor m_borderHotColor = clNone;
    TColor m_color = clBtnFace;
    TColor m_colorTo = clNone;
    TColor m_colorDown = rgbColor(210, 211, 216);
    TColor m_colorDownTo = clNone;
    TColor m_colorHot = rgbColor(199, 199, 202);
    TColor m_colorHotTo = clNone;
    TColor m_colorChecked = clGray;
    TColor m_colorCheckedTo = clNone;
    int m_groupIndex = 0;
    bool m_down = false;
    bool m_dropDownButton = false;
    bool m_flat = true;
    QImage m_glyph;
    QImage m_glyphHot;
    QImage m_glyphDown;
    QImage m_glyphDisabled;
    QImage m_shadeImage;
    TButtonLayout m_layout = blGlyphLeft;
    int m_margin = -1;
    bool m_rounded = false;
    bool m_shaded = true;
    int m_spacing = 4;
    TAdvToolButtonStyle m_style = tasButton;

    TButtonFaceState m_faceState = bfsUp;
    bool m_pointerInside = false;
    bool m_pressing = false;
};
