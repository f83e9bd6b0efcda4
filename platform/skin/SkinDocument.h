#pragma once
#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QHash>
#include <QPalette>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

class QSvgRenderer;

namespace varnelo {

// What an object of a skin does; given by the element's data-kind attribute.
enum class SkinObjectKind {
    Button, // clickable, drawn by the skin, with hover/pressed/selected variants
    Text,   // a rectangle the widget writes a text into
    Range,  // a rectangle the widget draws a bar with a thumb into
    Area,   // a rectangle where the program places a real widget
    Title,  // the part of the window that drags it
};

enum class SkinState { Hover, Pressed, Selected };

struct SkinTextStyle {
    QFont font;
    QColor color;
    Qt::Alignment alignment;
};

struct SkinRangeStyle {
    int minimum = 0;
    int maximum = 100;
    QColor track;
    QColor fill;
    QColor thumb;
    qreal trackHeight = 4;
    qreal thumbRadius = 6;
};

struct SkinObjectDef {
    QString name;
    SkinObjectKind kind = SkinObjectKind::Button;
    QRectF bounds; // document coordinates
    QString tip;
    QString initialText;
    int initialValue = 0;
    SkinTextStyle text;
    SkinRangeStyle range;
};

// The colours a form gives the program's own windows (dialogs, menus, message
// boxes, lists) so that they match the skin: attributes of the form's group,
// data-window, data-window-text, data-base, data-alternate-base, data-text,
// data-button, data-button-text, data-highlight, data-highlighted-text,
// data-placeholder-text, data-mid, data-link, data-tooltip-base and
// data-tooltip-text. Roles left out keep the platform's colour.
struct SkinPaletteDef {
    std::vector<std::pair<QPalette::ColorRole, QColor>> roles;
    // The base with these roles in every colour group (disabled texts dimmed).
    QPalette applied(const QPalette &base) const;
};

struct SkinFormDef {
    QString name;
    QRectF frame;                       // document coordinates of the form's group
    std::vector<SkinObjectDef> objects; // document order, so later ones lie on top
    SkinPaletteDef palette;
    // Where the form grows when its window is larger (document coordinates,
    // data-stretch-x/-y; the frame's centre when not given): what lies left of
    // (above) the line keeps its place, what lies right of (below) it moves with
    // the window's edge, and what spans it grows.
    QPointF stretch;
};

// A parsed skin file: the SVG drawing plus the forms and objects declared in it.
// Immutable once loaded; the widget keeps the changing state (texts, values).
class SkinDocument {
public:
    // Throws Error with a message naming the file and the fault.
    static std::unique_ptr<SkinDocument> Load(const QString &path);
    static std::unique_ptr<SkinDocument> FromData(const QByteArray &data, const QString &origin);
    ~SkinDocument();

    const SkinFormDef *form(const QString &name) const;
    QStringList formNames() const;
    QSvgRenderer &renderer() const { return *renderer_; }
    QString origin() const { return origin_; }

    // Element id of a state variant ("<name>.hover", ".pressed", ".selected").
    static QString variantId(const QString &name, SkinState state);
    // Document bounds of a variant the skin defines; empty when it has none.
    std::optional<QRectF> variantBounds(const QString &name, SkinState state) const;

private:
    SkinDocument() = default;
    QRectF elementBounds(const QString &id) const;

    QString origin_;
    std::unique_ptr<QSvgRenderer> renderer_;
    std::vector<SkinFormDef> forms_;
    QHash<QString, QRectF> variants_;
};

} // namespace varnelo
