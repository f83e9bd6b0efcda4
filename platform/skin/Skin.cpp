#include "platform/skin/Skin.h"

#include "common/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QHelpEvent>
#include <QHideEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QSvgRenderer>
#include <QToolTip>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <array>
#include <cmath>

// Outside the namespace: Q_INIT_RESOURCE names a global function. The resource
// lives in a static library, so nothing would pull it in without this call.
static void initSkinResource() {
    static const bool done = [] {
        Q_INIT_RESOURCE(skin);
        return true;
    }();
    Q_UNUSED(done);
}

namespace varnelo {

// ---------------------------------------------------------------- handles

bool SkinObject::isNull() const {
    return skin_.isNull() || name_.isEmpty() || skin_->live(name_) == nullptr;
}

SkinObjectKind SkinObject::kind() const {
    const Skin::Live *o = skin_ ? skin_->live(name_) : nullptr;
    return o ? o->def->kind : SkinObjectKind::Button;
}

SkinText SkinObject::AsText() const {
    return !isNull() && kind() == SkinObjectKind::Text ? SkinText(*this) : SkinText();
}

SkinRange SkinObject::AsRange() const {
    return !isNull() && kind() == SkinObjectKind::Range ? SkinRange(*this) : SkinRange();
}

SkinElement SkinObject::AsElement() const {
    return isNull() ? SkinElement() : SkinElement(*this);
}

void SkinText::SetText(const QString &text) {
    if (isNull())
        return;
    if (Skin::Live *o = object_.skin_->live(object_.name_))
        object_.skin_->setText(*o, text);
}

QString SkinText::GetText() const {
    const Skin::Live *o = isNull() ? nullptr : object_.skin_->live(object_.name_);
    return o ? o->text : QString();
}

int SkinRange::GetValue() const {
    const Skin::Live *o = isNull() ? nullptr : object_.skin_->live(object_.name_);
    return o ? o->value : 0;
}

void SkinRange::SetValue(int value) {
    if (isNull())
        return;
    if (Skin::Live *o = object_.skin_->live(object_.name_))
        object_.skin_->setValue(*o, value);
}

int SkinRange::minimum() const {
    const Skin::Live *o = isNull() ? nullptr : object_.skin_->live(object_.name_);
    return o ? o->def->range.minimum : 0;
}

int SkinRange::maximum() const {
    const Skin::Live *o = isNull() ? nullptr : object_.skin_->live(object_.name_);
    return o ? o->def->range.maximum : 0;
}

void SkinElement::Redraw() {
    if (const Skin::Live *o = isNull() ? nullptr : object_.skin_->live(object_.name_))
        object_.skin_->update(object_.skin_->paintRect(*o));
}

QRect SkinElement::rect() const {
    const Skin::Live *o = isNull() ? nullptr : object_.skin_->live(object_.name_);
    return o ? object_.skin_->objectRect(*o) : QRect();
}

// ---------------------------------------------------------------- widget

Skin::Skin(QWidget *parent) : QWidget(parent) {
    initSkinResource();
    qRegisterMetaType<varnelo::SkinObject>();
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

Skin::~Skin() = default;

QString Skin::DefaultSkinPath() {
    return QStringLiteral(":/skin/varnelo.svg");
}

QString Skin::OverrideFileName() {
    return QStringLiteral("varnelo.svg");
}

QString Skin::SkinPathFor(const QString &exeDir) {
    const QString path = QDir(exeDir).filePath(OverrideFileName());
    return QFileInfo(path).isFile() ? path : DefaultSkinPath();
}

void Skin::LoadSkin(const QString &path) {
    std::unique_ptr<SkinDocument> doc = SkinDocument::Load(path);
    // Carry the program's texts, values and marks over to the new skin. Copy
    // them out: the old definitions go with the old document.
    struct Kept {
        SkinObjectKind kind;
        QString text;
        int value;
        bool selected;
    };
    QHash<QString, Kept> kept;
    for (const Live &o : objects_)
        kept.insert(o.def->name, Kept{o.def->kind, o.text, o.value, o.selected});
    const QString formName = formName_;
    objects_.clear();
    index_.clear();
    form_ = nullptr;
    formName_.clear();
    doc_ = std::move(doc);
    if (!formName.isEmpty() && doc_->form(formName)) {
        ApplySkinForm(formName);
        for (Live &o : objects_) {
            const auto it = kept.constFind(o.def->name);
            if (it == kept.constEnd() || it->kind != o.def->kind)
                continue;
            o.text = it->text;
            o.selected = it->selected;
            o.value = std::clamp(it->value, o.def->range.minimum, o.def->range.maximum);
        }
    } else {
        base_ = QPixmap();
    }
    hover_.clear();
    pressed_.clear();
    pressedButton_ = Qt::NoButton;
    dragging_ = false;
    update();
}

void Skin::ApplySkin(QWidget *window) {
    if (host_ && host_ != this)
        host_->removeEventFilter(this);
    host_ = window;
    if (!window)
        return;
    if (window != this)
        window->installEventFilter(this); // the skin covers the window at any size
    if (form_ && window != this) {
        window->setMinimumSize(form_->frame.size().toSize());
        fitHost();
    }
    if (window->windowFlags().testFlag(Qt::FramelessWindowHint))
        return;
    const bool visible = window->isVisible();
    window->setWindowFlag(Qt::FramelessWindowHint, true);
    if (visible) // changing the flags hides a shown window
        window->show();
}

QPalette Skin::formPalette(const QPalette &base) const {
    return form_ ? form_->palette.applied(base) : base;
}

void Skin::ApplySkinForm(const QString &formName) {
    if (!doc_)
        throw Error(QStringLiteral("No skin is loaded to show the form \"%1\"").arg(formName));
    const SkinFormDef *form = doc_->form(formName);
    if (!form)
        throw Error(QStringLiteral("The skin \"%1\" has no form \"%2\"").arg(doc_->origin(), formName));
    form_ = form;
    formName_ = formName;
    objects_.clear();
    index_.clear();
    for (const SkinObjectDef &def : form->objects) {
        index_.insert(def.name, static_cast<int>(objects_.size()));
        objects_.push_back(Live{&def, def.initialText, def.initialValue, false});
    }
    hover_.clear();
    pressed_.clear();
    dragging_ = false;
    const QSize size = form->frame.size().toSize();
    setMinimumSize(size);
    if (host_ && host_ != this) {
        host_->setMinimumSize(size);
        fitHost();
        resize(host_->size());
    } else {
        resize(size);
    }
    renderBase();
    update();
}

SkinObject Skin::GetObject(const QString &name) {
    return live(name) ? SkinObject(this, name) : SkinObject();
}

QStringList Skin::objectNames() const {
    QStringList names;
    for (const Live &o : objects_)
        names.push_back(o.def->name);
    return names;
}

QRect Skin::fromForm(const QRect &r) const {
    return toWidget(QRectF(r).translated(form_ ? form_->frame.topLeft() : QPointF())).toAlignedRect();
}

QRect Skin::areaRect(const QString &name) const {
    const Live *o = live(name);
    return o ? objectRect(*o) : QRect();
}

void Skin::SetSelected(const QString &name, bool selected) {
    Live *o = live(name);
    if (!o || o->selected == selected)
        return;
    o->selected = selected;
    update(paintRect(*o));
}

void Skin::SetHidden(const QString &name, bool hidden) {
    Live *o = live(name);
    if (!o || o->hidden == hidden)
        return;
    o->hidden = hidden;
    if (hidden && (hover_ == name || pressed_ == name))
        setHover(QString());
    update(paintRect(*o));
}

bool Skin::isHidden(const QString &name) const {
    const Live *o = live(name);
    return o && o->hidden;
}

bool Skin::isSelected(const QString &name) const {
    const Live *o = live(name);
    return o && o->selected;
}

QSize Skin::sizeHint() const {
    return form_ ? form_->frame.size().toSize() : QSize(588, 442);
}

Skin::Live *Skin::live(const QString &name) {
    const auto it = index_.constFind(name);
    return it == index_.constEnd() ? nullptr : &objects_[*it];
}

const Skin::Live *Skin::live(const QString &name) const {
    const auto it = index_.constFind(name);
    return it == index_.constEnd() ? nullptr : &objects_[*it];
}

void Skin::fitHost() {
    // A window not shown yet takes the form's size; a shown one keeps the size
    // its user gave it, at least the form's.
    const QSize least = host_->minimumSize();
    host_->resize(host_->isVisible() ? host_->size().expandedTo(least) : least);
}

QSizeF Skin::growth() const {
    return form_ ? (QSizeF(size()) - form_->frame.size()).expandedTo(QSizeF(0, 0)) : QSizeF(0, 0);
}

QRectF Skin::toWidget(const QRectF &doc) const {
    if (!form_)
        return doc;
    const QRectF r = doc.translated(-form_->frame.topLeft());
    const QPointF line = form_->stretch - form_->frame.topLeft();
    const QSizeF grow = growth();
    // An edge on or beyond a stretch line moves with the window's far edge.
    const auto moved = [](qreal v, qreal at, qreal by, bool far) {
        return (far ? v > at : v >= at) ? v + by : v;
    };
    return QRectF(QPointF(moved(r.left(), line.x(), grow.width(), false),
                          moved(r.top(), line.y(), grow.height(), false)),
                  QPointF(moved(r.right(), line.x(), grow.width(), true),
                          moved(r.bottom(), line.y(), grow.height(), true)));
}

Qt::Edges Skin::edgesAt(const QPoint &pos) const {
    const QWidget *w = host();
    if (!w || !w->isWindow() || w->minimumSize() == w->maximumSize())
        return {};
    constexpr int Border = 5; // pixels along the window's edges that grab it
    Qt::Edges edges;
    if (pos.x() < Border)
        edges |= Qt::LeftEdge;
    if (pos.x() >= width() - Border)
        edges |= Qt::RightEdge;
    if (pos.y() < Border)
        edges |= Qt::TopEdge;
    if (pos.y() >= height() - Border)
        edges |= Qt::BottomEdge;
    return edges;
}

QRect Skin::objectRect(const Live &o) const {
    return toWidget(o.def->bounds).toAlignedRect();
}

QRect Skin::paintRect(const Live &o) const {
    QRectF r = toWidget(o.def->bounds);
    for (const SkinState s : {SkinState::Hover, SkinState::Pressed, SkinState::Selected}) {
        if (const auto v = doc_->variantBounds(o.def->name, s))
            r |= toWidget(*v);
    }
    if (o.def->kind == SkinObjectKind::Range) {
        const qreal m = o.def->range.thumbRadius + 7; // the hover halo
        r.adjust(-m, -m, m, m);
    }
    return r.toAlignedRect().adjusted(-1, -1, 1, 1);
}

const Skin::Live *Skin::hit(const QPoint &pos) const {
    for (auto it = objects_.rbegin(); it != objects_.rend(); ++it) {
        if (it->def->kind == SkinObjectKind::Area || it->hidden)
            continue;
        QRectF r = toWidget(it->def->bounds);
        if (it->def->kind == SkinObjectKind::Range) {
            // The thumb overhangs the ends of the track; let it be grabbed there.
            const qreal m = it->def->range.thumbRadius;
            r.adjust(-m, 0, m, 0);
        }
        if (r.contains(pos))
            return &*it;
    }
    return nullptr;
}

QPoint Skin::relative(const Live &o, const QPoint &pos) const {
    const QRectF r = toWidget(o.def->bounds);
    QPointF p = QPointF(pos) - r.topLeft();
    if (o.def->kind == SkinObjectKind::Range)
        p = QPointF(std::clamp(p.x(), 0.0, r.width()), std::clamp(p.y(), 0.0, r.height()));
    return QPoint(static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y())));
}

int Skin::rangeValueAt(const Live &o, const QPoint &pos) const {
    const QRectF r = toWidget(o.def->bounds);
    const qreal x = std::clamp(QPointF(pos).x() - r.left(), 0.0, r.width());
    const SkinRangeStyle &s = o.def->range;
    return s.minimum + static_cast<int>(std::lround(x / r.width() * (s.maximum - s.minimum)));
}

void Skin::setValue(Live &o, int value) {
    value = std::clamp(value, o.def->range.minimum, o.def->range.maximum);
    if (value == o.value)
        return;
    o.value = value;
    update(paintRect(o));
}

void Skin::setText(Live &o, const QString &text) {
    if (text == o.text)
        return;
    o.text = text;
    update(paintRect(o));
}

void Skin::setHover(const QString &name) {
    if (name == hover_)
        return;
    if (const Live *old = live(hover_))
        update(paintRect(*old));
    hover_ = name;
    if (const Live *now = live(hover_))
        update(paintRect(*now));
}

QWidget *Skin::host() const {
    return host_ ? host_.data() : window();
}

// ---------------------------------------------------------------- painting

void Skin::renderBase() {
    if (!form_) {
        base_ = QPixmap();
        return;
    }
    // The form is drawn at its own size, then laid out in nine pieces: the
    // corners as drawn, the bands across the stretch lines made of the one
    // column (row) of pixels just before each line.
    const qreal dpr = devicePixelRatioF();
    const QSizeF design = form_->frame.size();
    QImage drawn((design * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::black);
    {
        QPainter p(&drawn);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(dpr, dpr);
        doc_->renderer().render(&p, form_->name, QRectF(QPointF(0, 0), design));
    }
    const QSize out = (QSizeF(size()) * dpr).toSize().expandedTo(drawn.size());
    const QPointF line = (form_->stretch - form_->frame.topLeft()) * dpr;
    const auto spans = [](int at, int length, int grow) {
        at = std::clamp(at, 1, length - 1);
        // (source start, source length, target start, target length)
        return std::array<std::array<int, 4>, 3>{
            {{0, at, 0, at}, {at - 1, 1, at, grow}, {at, length - at, at + grow, length - at}}};
    };
    const auto xs = spans(qRound(line.x()), drawn.width(), out.width() - drawn.width());
    const auto ys = spans(qRound(line.y()), drawn.height(), out.height() - drawn.height());
    QImage image(out, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    {
        QPainter p(&image);
        for (const auto &x : xs)
            for (const auto &y : ys)
                if (x[3] > 0 && y[3] > 0)
                    p.drawImage(QRect(x[2], y[2], x[3], y[3]), drawn, QRect(x[0], y[0], x[1], y[1]));
    }
    image.setDevicePixelRatio(dpr);
    base_ = QPixmap::fromImage(image);
    baseImage_ = image;
}

void Skin::paintState(QPainter &p, const Live &o, SkinState state) {
    if (const auto v = doc_->variantBounds(o.def->name, state)) {
        doc_->renderer().render(&p, SkinDocument::variantId(o.def->name, state), toWidget(*v));
        return;
    }
    // A skin without this variant still shows the state, plainly.
    const QColor wash = state == SkinState::Pressed ? QColor(0, 0, 0, 70) : QColor(255, 255, 255, 26);
    QPainterPath path;
    path.addRoundedRect(toWidget(o.def->bounds), 4, 4);
    p.fillPath(path, wash);
}

void Skin::paintRange(QPainter &p, const Live &o) const {
    const SkinRangeStyle &s = o.def->range;
    const QRectF r = toWidget(o.def->bounds);
    const qreal cy = r.center().y();
    const qreal frac = qreal(o.value - s.minimum) / (s.maximum - s.minimum);
    const qreal x = r.left() + frac * r.width();
    const QRectF track(r.left(), cy - s.trackHeight / 2, r.width(), s.trackHeight);
    const qreal round = s.trackHeight / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(s.track);
    p.drawRoundedRect(track, round, round);
    if (x > r.left()) {
        p.setBrush(s.fill);
        p.drawRoundedRect(QRectF(track.left(), track.top(), x - track.left(), track.height()), round, round);
    }
    if (s.thumbRadius > 0) {
        const bool active = o.def->name == hover_ || (o.def->name == pressed_ && dragging_);
        const qreal radius = active ? s.thumbRadius + 1.5 : s.thumbRadius;
        if (active) {
            QColor halo = s.fill;
            halo.setAlpha(70);
            p.setBrush(halo);
            p.drawEllipse(QPointF(x, cy), radius + 4, radius + 4);
        }
        p.setBrush(s.thumb);
        p.drawEllipse(QPointF(x, cy), radius, radius);
    }
}

void Skin::paintText(QPainter &p, const Live &o) const {
    if (o.text.isEmpty())
        return;
    const SkinTextStyle &s = o.def->text;
    const QRectF r = toWidget(o.def->bounds);
    p.setFont(s.font);
    p.setPen(s.color);
    const QString shown = p.fontMetrics().elidedText(o.text, Qt::ElideRight, qFloor(r.width()));
    p.drawText(r, static_cast<int>(s.alignment), shown);
}

void Skin::paintEvent(QPaintEvent *event) {
    QPainter p(this);
    if (!form_) {
        p.fillRect(event->rect(), palette().window());
        return;
    }
    if (base_.isNull() || base_.deviceIndependentSize().toSize() != size() ||
        !qFuzzyCompare(base_.devicePixelRatio(), devicePixelRatioF()))
        renderBase();
    p.drawPixmap(event->rect(), base_,
                 QRectF(QRectF(event->rect()).topLeft() * base_.devicePixelRatio(),
                        QSizeF(event->rect().size()) * base_.devicePixelRatio()));
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    for (const Live &o : objects_) {
        if (!paintRect(o).intersects(event->rect()))
            continue;
        const QString &name = o.def->name;
        if (o.hidden) {
            // The form's colour just left of the object, where the bar it sits on shows.
            const QRect r = paintRect(o);
            const QPoint beside =
                QPoint(std::max(0, r.left() - 1), r.center().y()) * base_.devicePixelRatio();
            if (baseImage_.rect().contains(beside))
                p.fillRect(r, baseImage_.pixelColor(beside));
            continue;
        }
        switch (o.def->kind) {
        case SkinObjectKind::Button:
            if (o.selected)
                paintState(p, o, SkinState::Selected);
            if (name == pressed_ && name == hover_ && pressedButton_ == Qt::LeftButton)
                paintState(p, o, SkinState::Pressed);
            else if (name == hover_ && pressed_.isEmpty())
                paintState(p, o, SkinState::Hover);
            break;
        case SkinObjectKind::Range:
            paintRange(p, o);
            break;
        case SkinObjectKind::Text:
            paintText(p, o);
            break;
        case SkinObjectKind::Area:
        case SkinObjectKind::Title:
            break;
        }
    }
}

// ---------------------------------------------------------------- input

void Skin::mousePressEvent(QMouseEvent *event) {
    if (!pressed_.isEmpty() || moving_ || resizing_)
        return; // one grab at a time; extra buttons are ignored until it ends
    if (const Qt::Edges edges = edgesAt(event->position().toPoint());
        edges && event->button() == Qt::LeftButton) {
        QWidget *w = host();
        QWindow *handle = w->windowHandle();
        if (handle && handle->startSystemResize(edges))
            return;
        resizing_ = edges; // no window manager help: follow the mouse ourselves
        resizeStart_ = w->geometry();
        resizeFrom_ = event->globalPosition().toPoint();
        return;
    }
    const Live *o = hit(event->position().toPoint());
    if (!o)
        return;
    if (o->def->kind == SkinObjectKind::Title) {
        if (event->button() != Qt::LeftButton)
            return;
        QWidget *w = host();
        QWindow *handle = w->windowHandle();
        if (handle && handle->startSystemMove())
            return;
        moving_ = true; // no window manager help: follow the mouse ourselves
        moveOffset_ = event->globalPosition().toPoint() - w->pos();
        return;
    }
    const QString name = o->def->name;
    pressed_ = name;
    pressedButton_ = event->button();
    dragging_ = o->def->kind == SkinObjectKind::Range && event->button() == Qt::LeftButton;
    setHover(name);
    update(paintRect(*o));
    const QPoint rel = relative(*o, event->position().toPoint());
    QPointer<Skin> guard(this);
    Q_EMIT OnMouseDown(SkinObject(this, name), event->button(), rel.x(), rel.y());
    if (guard && dragging_)
        dragRange(event->position().toPoint());
}

void Skin::wheelEvent(QWheelEvent *event) {
    // A range under the pointer moves a twentieth of its span per notch.
    const Live *over = hit(event->position().toPoint());
    const int notches = event->angleDelta().y() / 120;
    if (!over || over->def->kind != SkinObjectKind::Range || notches == 0) {
        QWidget::wheelEvent(event);
        return;
    }
    Live *o = live(over->def->name);
    const int step = std::max(1, (o->def->range.maximum - o->def->range.minimum) / 20);
    const int before = o->value;
    setValue(*o, o->value + notches * step);
    if (o->value != before)
        Q_EMIT OnScrollTrack(SkinObject(this, o->def->name), o->value);
    event->accept();
}

void Skin::dragRange(const QPoint &pos) {
    Live *o = live(pressed_);
    if (!o)
        return;
    const int before = o->value;
    setValue(*o, rangeValueAt(*o, pos));
    if (o->value != before)
        Q_EMIT OnScrollTrack(SkinObject(this, o->def->name), o->value);
}

void Skin::mouseMoveEvent(QMouseEvent *event) {
    const QPoint pos = event->position().toPoint();
    if (moving_) {
        host()->move(event->globalPosition().toPoint() - moveOffset_);
        return;
    }
    if (resizing_) {
        QWidget *w = host();
        const QPoint d = event->globalPosition().toPoint() - resizeFrom_;
        QRect g = resizeStart_;
        const QSize least = w->minimumSize();
        if (resizing_ & Qt::RightEdge)
            g.setRight(std::max(g.left() + least.width() - 1, resizeStart_.right() + d.x()));
        if (resizing_ & Qt::BottomEdge)
            g.setBottom(std::max(g.top() + least.height() - 1, resizeStart_.bottom() + d.y()));
        if (resizing_ & Qt::LeftEdge)
            g.setLeft(std::min(g.right() - least.width() + 1, resizeStart_.left() + d.x()));
        if (resizing_ & Qt::TopEdge)
            g.setTop(std::min(g.bottom() - least.height() + 1, resizeStart_.top() + d.y()));
        w->setGeometry(g);
        return;
    }
    if (const Qt::Edges edges = edgesAt(pos); edges && pressed_.isEmpty()) {
        const bool diagonal =
            (edges & (Qt::LeftEdge | Qt::RightEdge)) && (edges & (Qt::TopEdge | Qt::BottomEdge));
        const bool backslash =
            edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge);
        setCursor(diagonal ? (backslash ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor)
                  : (edges & (Qt::LeftEdge | Qt::RightEdge)) ? Qt::SizeHorCursor
                                                             : Qt::SizeVerCursor);
        setHover(QString());
        return;
    }
    unsetCursor();
    if (dragging_) {
        dragRange(pos);
        return;
    }
    const Live *o = hit(pos);
    const bool over = o && o->def->kind != SkinObjectKind::Title;
    if (!pressed_.isEmpty()) {
        // While a button is held only that one may light up (as pressed).
        setHover(over && o->def->name == pressed_ ? pressed_ : QString());
        return;
    }
    setHover(over ? o->def->name : QString());
}

void Skin::mouseReleaseEvent(QMouseEvent *event) {
    if (resizing_) {
        if (event->button() == Qt::LeftButton)
            resizing_ = {};
        return;
    }
    if (moving_) {
        if (event->button() == Qt::LeftButton)
            moving_ = false;
        return;
    }
    if (pressed_.isEmpty() || event->button() != pressedButton_)
        return;
    const QPoint pos = event->position().toPoint();
    QPointer<Skin> guard(this);
    if (dragging_) {
        dragRange(pos);
        if (!guard)
            return;
    }
    const QString name = pressed_;
    pressed_.clear();
    pressedButton_ = Qt::NoButton;
    dragging_ = false;
    const Live *o = live(name);
    if (!o)
        return; // the skin changed under the press
    update(paintRect(*o));
    const Live *under = hit(pos);
    const bool clicked = event->button() == Qt::LeftButton && under == o;
    setHover(under && under->def->kind != SkinObjectKind::Title ? under->def->name : QString());
    const QPoint rel = relative(*o, pos);
    Q_EMIT OnMouseUp(SkinObject(this, name), event->button(), rel.x(), rel.y());
    if (guard && clicked && live(name))
        Q_EMIT OnClick(SkinObject(this, name));
}

void Skin::leaveEvent(QEvent *event) {
    if (pressed_.isEmpty())
        setHover(QString());
    QWidget::leaveEvent(event);
}

void Skin::hideEvent(QHideEvent *event) {
    // A window hidden under a held button (minimize to the tray) never gets the
    // release; drop the grab so the next press is not ignored.
    pressed_.clear();
    pressedButton_ = Qt::NoButton;
    dragging_ = false;
    moving_ = false;
    resizing_ = {};
    hover_.clear();
    QWidget::hideEvent(event);
}

bool Skin::eventFilter(QObject *watched, QEvent *event) {
    if (watched == host_ && event->type() == QEvent::Resize && form_)
        resize(static_cast<QResizeEvent *>(event)->size());
    return QWidget::eventFilter(watched, event);
}

void Skin::resizeEvent(QResizeEvent *event) {
    renderBase();
    QWidget::resizeEvent(event);
}

bool Skin::event(QEvent *event) {
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const Live *o = hit(help->pos());
        if (o && !o->def->tip.isEmpty())
            QToolTip::showText(help->globalPos(), o->def->tip, this, objectRect(*o));
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

} // namespace varnelo
