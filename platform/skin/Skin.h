#pragma once
#include "platform/skin/SkinDocument.h"

#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QSet>
#include <QWidget>

namespace varnelo {

class Skin;
class SkinText;
class SkinRange;
class SkinElement;

// A named object of the applied skin form. A light handle: it names the object
// and reaches it through its skin, so it stays safe when the skin is reloaded or
// destroyed (its calls then do nothing). An empty handle stands for a name the
// skin lacks.
class SkinObject {
public:
    SkinObject() = default;

    bool isNull() const;
    explicit operator bool() const { return !isNull(); }
    QString GetName() const { return name_; }
    SkinObjectKind kind() const;

    // The views; each is empty when the object is not of that kind.
    SkinText AsText() const;
    SkinRange AsRange() const;
    SkinElement AsElement() const;

    friend bool operator==(const SkinObject &a, const SkinObject &b) {
        return a.skin_ == b.skin_ && a.name_ == b.name_;
    }

private:
    friend class Skin;
    friend class SkinText;
    friend class SkinRange;
    friend class SkinElement;
    SkinObject(Skin *skin, const QString &name) : skin_(skin), name_(name) {}
    QPointer<Skin> skin_;
    QString name_;
};

class SkinText {
public:
    SkinText() = default;
    bool isNull() const { return object_.isNull(); }
    void SetText(const QString &text);
    QString GetText() const;

private:
    friend class SkinObject;
    explicit SkinText(const SkinObject &o) : object_(o) {}
    SkinObject object_;
};

class SkinRange {
public:
    SkinRange() = default;
    bool isNull() const { return object_.isNull(); }
    int GetValue() const;
    // Clamped to the range the skin gives the object.
    void SetValue(int value);
    int minimum() const;
    int maximum() const;

private:
    friend class SkinObject;
    explicit SkinRange(const SkinObject &o) : object_(o) {}
    SkinObject object_;
};

class SkinElement {
public:
    SkinElement() = default;
    bool isNull() const { return object_.isNull(); }
    void Redraw();
    // Where the object lies on the skin widget.
    QRect rect() const;

private:
    friend class SkinObject;
    explicit SkinElement(const SkinObject &o) : object_(o) {}
    SkinObject object_;
};

// The main window's face, drawn from an SVG skin. See platform/skin/varnelo.svg
// for the skin format. Events follow the object under the mouse: a press on an
// object grabs it until the release, so OnMouseUp always has the Source of its
// OnMouseDown. The order is OnMouseDown, OnScrollTrack while the left button drags
// a bar (on each change of its value, the press included), OnMouseUp, and OnClick
// after a left release over the object pressed. Coordinates are relative to the
// object's top-left corner in skin pixels; for range objects they are clamped into
// the object (x runs 0..width across a bar).
class Skin : public QWidget {
    Q_OBJECT
public:
    explicit Skin(QWidget *parent = nullptr);
    ~Skin() override;

    // The skin compiled into the program.
    static QString DefaultSkinPath();
    // The file name of a skin beside the executable that overrides the default.
    static QString OverrideFileName();
    // The skin to load: <exeDir>/varnelo.svg when it exists, else the default.
    static QString SkinPathFor(const QString &exeDir);

    // Reads the skin; throws Error when the file is missing or not a valid skin.
    // A failed load keeps the skin shown until then.
    void LoadSkin(const QString &path);
    // Takes over drawing the window: it becomes borderless and the title object drags it.
    void ApplySkin(QWidget *window);
    // Shows the named form of the loaded skin and sizes the widget (and the window
    // given to ApplySkin) to it; that size is their smallest, and a larger one
    // stretches the form at its stretch lines. Throws Error when there is no
    // loaded skin or no such form.
    void ApplySkinForm(const QString &formName);
    QString formName() const { return formName_; }

    // The object of the applied form, or an empty one.
    SkinObject GetObject(const QString &name);
    QStringList objectNames() const;
    // Where an object (typically an area) lies on this widget; null when absent.
    QRect areaRect(const QString &name) const;
    // Where a rectangle given in the form's own coordinates lies on this widget.
    QRect fromForm(const QRect &r) const;
    // The colours of the applied form for the program's own windows, over `base`.
    QPalette formPalette(const QPalette &base) const;
    // Marks an object as current (a page tab, a playing transport button).
    void SetSelected(const QString &name, bool selected);
    bool isSelected(const QString &name) const;
    // Takes a button out of a page where it has nothing to do: covered with the
    // form's colour beside it, and clicks pass it by.
    void SetHidden(const QString &name, bool hidden);
    bool isHidden(const QString &name) const;

    QSize sizeHint() const override;

Q_SIGNALS:
    void OnClick(varnelo::SkinObject Source);
    void OnMouseDown(varnelo::SkinObject Source, Qt::MouseButton Button, int x, int y);
    void OnMouseUp(varnelo::SkinObject Source, Qt::MouseButton Button, int x, int y);
    void OnScrollTrack(varnelo::SkinObject Source, int NewPos);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;

private:
    friend class SkinObject;
    friend class SkinText;
    friend class SkinRange;
    friend class SkinElement;

    struct Live {
        const SkinObjectDef *def = nullptr;
        QString text;
        int value = 0;
        bool selected = false;
        bool hidden = false;
    };

    Live *live(const QString &name);
    const Live *live(const QString &name) const;
    QRectF toWidget(const QRectF &doc) const;
    // How much larger than the form the widget is (never less than nothing).
    QSizeF growth() const;
    void fitHost();
    // The window edges a press at `pos` grabs to resize it; none inside.
    Qt::Edges edgesAt(const QPoint &pos) const;
    QRect objectRect(const Live &o) const;
    QRect paintRect(const Live &o) const;
    const Live *hit(const QPoint &pos) const;
    QPoint relative(const Live &o, const QPoint &pos) const;
    int rangeValueAt(const Live &o, const QPoint &pos) const;
    void setValue(Live &o, int value);
    void setText(Live &o, const QString &text);
    void setHover(const QString &name);
    void renderBase();
    void paintState(QPainter &p, const Live &o, SkinState state);
    void paintRange(QPainter &p, const Live &o) const;
    void paintText(QPainter &p, const Live &o) const;
    void dragRange(const QPoint &pos);
    QWidget *host() const;

    std::unique_ptr<SkinDocument> doc_;
    const SkinFormDef *form_ = nullptr;
    QString formName_;
    std::vector<Live> objects_; // of the applied form, document order
    QHash<QString, int> index_;
    QPixmap base_;
    QImage baseImage_; // base_ for reading colours
    QPointer<QWidget> host_;

    QString hover_;
    QString pressed_;
    Qt::MouseButton pressedButton_ = Qt::NoButton;
    bool dragging_ = false; // a range follows the mouse
    bool moving_ = false;   // the window follows the mouse (no system move)
    QPoint moveOffset_;
    Qt::Edges resizing_; // the window's edges follow the mouse (no system resize)
    QRect resizeStart_;  // the window's geometry and the mouse at the press
    QPoint resizeFrom_;
};

} // namespace varnelo

Q_DECLARE_METATYPE(varnelo::SkinObject)
