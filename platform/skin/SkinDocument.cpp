#include "platform/skin/SkinDocument.h"

#include "common/Error.h"

#include <algorithm>

#include <QFile>
#include <QSvgRenderer>
#include <QTransform>
#include <QXmlStreamReader>

namespace varnelo {

namespace {

// A skin is a drawing, not a media file; anything this large is a mistake.
constexpr qint64 kMaxSkinBytes = 32 * 1024 * 1024;

struct ParseFault {
    QString text;
};

QString attr(const QXmlStreamAttributes &attrs, const char *name) {
    return attrs.value(QLatin1String(name)).toString().trimmed();
}

class ObjectReader {
public:
    ObjectReader(const QXmlStreamAttributes &attrs, const QString &name) : attrs_(attrs), name_(name) {}

    QString text(const char *key, const QString &fallback = {}) const {
        return attrs_.hasAttribute(QLatin1String(key)) ? attrs_.value(QLatin1String(key)).toString()
                                                       : fallback;
    }

    int integer(const char *key, int fallback) const {
        const QString v = attr(attrs_, key);
        if (v.isEmpty())
            return fallback;
        bool ok = false;
        const int n = v.toInt(&ok);
        if (!ok)
            fail(key, v, QStringLiteral("is not a whole number"));
        return n;
    }

    qreal real(const char *key, qreal fallback) const {
        const QString v = attr(attrs_, key);
        if (v.isEmpty())
            return fallback;
        bool ok = false;
        const qreal n = v.toDouble(&ok);
        if (!ok || n < 0)
            fail(key, v, QStringLiteral("is not a non-negative number"));
        return n;
    }

    QColor color(const char *key, const QColor &fallback) const {
        const QString v = attr(attrs_, key);
        if (v.isEmpty())
            return fallback;
        const QColor c = QColor::fromString(v);
        if (!c.isValid())
            fail(key, v, QStringLiteral("is not a colour"));
        return c;
    }

    [[noreturn]] void fail(const char *key, const QString &value, const QString &why) const {
        throw ParseFault{QStringLiteral("attribute %1=\"%2\" of object \"%3\" %4")
                             .arg(QLatin1String(key), value, name_, why)};
    }

private:
    const QXmlStreamAttributes &attrs_;
    QString name_;
};

SkinObjectKind parseKind(const QString &kind, const QString &name) {
    if (kind == QLatin1String("button"))
        return SkinObjectKind::Button;
    if (kind == QLatin1String("text"))
        return SkinObjectKind::Text;
    if (kind == QLatin1String("range"))
        return SkinObjectKind::Range;
    if (kind == QLatin1String("area"))
        return SkinObjectKind::Area;
    if (kind == QLatin1String("title"))
        return SkinObjectKind::Title;
    throw ParseFault{QStringLiteral("object \"%1\" has the unknown kind \"%2\"").arg(name, kind)};
}

QFont::Weight parseWeight(const ObjectReader &r) {
    const QString w = r.text("data-font-weight").trimmed();
    if (w.isEmpty() || w == QLatin1String("normal"))
        return QFont::Normal;
    if (w == QLatin1String("bold"))
        return QFont::Bold;
    const int n = r.integer("data-font-weight", 400);
    if (n < 100 || n > 900)
        r.fail("data-font-weight", w, QStringLiteral("is not between 100 and 900"));
    return static_cast<QFont::Weight>(n);
}

SkinObjectDef parseObject(const QXmlStreamAttributes &attrs, const QString &name, const QString &kind) {
    SkinObjectDef def;
    def.name = name;
    def.kind = parseKind(kind, name);
    ObjectReader r(attrs, name);
    def.tip = r.text("data-tip");
    if (def.kind == SkinObjectKind::Text) {
        def.initialText = r.text("data-text");
        def.text.font.setFamily(r.text("data-font-family", QStringLiteral("DejaVu Sans")));
        const qreal size = r.real("data-font-size", 12);
        if (size < 1)
            r.fail("data-font-size", r.text("data-font-size"), QStringLiteral("is too small"));
        def.text.font.setPixelSize(qRound(size));
        def.text.font.setWeight(parseWeight(r));
        def.text.color = r.color("data-color", QColor(0xe6, 0xe9, 0xef));
        const QString align = r.text("data-align", QStringLiteral("center")).trimmed();
        Qt::Alignment h = Qt::AlignHCenter;
        if (align == QLatin1String("left"))
            h = Qt::AlignLeft;
        else if (align == QLatin1String("right"))
            h = Qt::AlignRight;
        else if (align != QLatin1String("center"))
            r.fail("data-align", align, QStringLiteral("is not left, center or right"));
        def.text.alignment = h | Qt::AlignVCenter;
    } else if (def.kind == SkinObjectKind::Range) {
        SkinRangeStyle &s = def.range;
        s.minimum = r.integer("data-min", 0);
        s.maximum = r.integer("data-max", 100);
        if (s.minimum >= s.maximum)
            r.fail("data-max", r.text("data-max"), QStringLiteral("is not above data-min"));
        def.initialValue = std::clamp(r.integer("data-value", s.minimum), s.minimum, s.maximum);
        s.track = r.color("data-track", QColor(0x3a, 0x3f, 0x4b));
        s.fill = r.color("data-fill", QColor(0x4f, 0x8c, 0xff));
        s.thumb = r.color("data-thumb", QColor(Qt::white));
        s.trackHeight = r.real("data-track-height", 4);
        s.thumbRadius = r.real("data-thumb-radius", 6);
    }
    return def;
}

SkinPaletteDef parsePalette(const QXmlStreamAttributes &attrs, const QString &name) {
    static const std::pair<const char *, QPalette::ColorRole> names[] = {
        {"data-window", QPalette::Window},
        {"data-window-text", QPalette::WindowText},
        {"data-base", QPalette::Base},
        {"data-alternate-base", QPalette::AlternateBase},
        {"data-text", QPalette::Text},
        {"data-button", QPalette::Button},
        {"data-button-text", QPalette::ButtonText},
        {"data-highlight", QPalette::Highlight},
        {"data-highlighted-text", QPalette::HighlightedText},
        {"data-placeholder-text", QPalette::PlaceholderText},
        {"data-mid", QPalette::Mid},
        {"data-link", QPalette::Link},
        {"data-tooltip-base", QPalette::ToolTipBase},
        {"data-tooltip-text", QPalette::ToolTipText},
    };
    const ObjectReader r(attrs, name);
    SkinPaletteDef def;
    for (const auto &[key, role] : names)
        if (const QColor c = r.color(key, QColor()); c.isValid())
            def.roles.emplace_back(role, c);
    return def;
}

} // namespace

QPalette SkinPaletteDef::applied(const QPalette &base) const {
    QPalette p = base;
    for (const auto &[role, colour] : roles) {
        p.setColor(QPalette::All, role, colour);
        if (role == QPalette::Button) {
            // The bevels the styles draw follow the button colour.
            p.setColor(QPalette::All, QPalette::Light, colour.lighter(150));
            p.setColor(QPalette::All, QPalette::Midlight, colour.lighter(125));
            p.setColor(QPalette::All, QPalette::Dark, colour.darker(150));
            p.setColor(QPalette::All, QPalette::Shadow, colour.darker(300));
        }
    }
    // Disabled texts halfway to their background.
    const auto dim = [&p](QPalette::ColorRole text, QPalette::ColorRole back) {
        const QColor t = p.color(QPalette::Active, text), b = p.color(QPalette::Active, back);
        p.setColor(QPalette::Disabled, text,
                   QColor((t.red() + b.red()) / 2, (t.green() + b.green()) / 2, (t.blue() + b.blue()) / 2));
    };
    if (!roles.empty()) {
        dim(QPalette::WindowText, QPalette::Window);
        dim(QPalette::Text, QPalette::Base);
        dim(QPalette::ButtonText, QPalette::Button);
    }
    return p;
}

SkinDocument::~SkinDocument() = default;

std::unique_ptr<SkinDocument> SkinDocument::Load(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Cannot open the skin file \"%1\": %2").arg(path, file.errorString()));
    if (file.size() > kMaxSkinBytes)
        throw Error(QStringLiteral("The skin file \"%1\" is too large to be a skin").arg(path));
    return FromData(file.readAll(), path);
}

std::unique_ptr<SkinDocument> SkinDocument::FromData(const QByteArray &data, const QString &origin) {
    std::unique_ptr<SkinDocument> doc(new SkinDocument);
    doc->origin_ = origin;
    QHash<QString, int> formOf; // object id -> index of its form, for the duplicate check
    QStringList variantIds;

    QXmlStreamReader xml(data);
    struct Frame {
        bool defs;
        bool form;
    };
    std::vector<Frame> stack;
    int defsDepth = 0;
    int openForm = -1;
    try {
        if (data.trimmed().isEmpty())
            throw ParseFault{QStringLiteral("the file is empty")};
        while (!xml.atEnd()) {
            const auto token = xml.readNext();
            if (token == QXmlStreamReader::EndElement) {
                if (stack.back().defs)
                    --defsDepth;
                if (stack.back().form)
                    openForm = -1;
                stack.pop_back();
                continue;
            }
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (stack.empty() && xml.name() != QLatin1String("svg"))
                throw ParseFault{QStringLiteral("the document is not an SVG drawing")};
            const QXmlStreamAttributes attrs = xml.attributes();
            const QString id = attr(attrs, "id");
            const QString kind = attr(attrs, "data-kind");
            Frame frame{xml.name() == QLatin1String("defs"), false};
            if (frame.defs)
                ++defsDepth;
            for (const SkinState s : {SkinState::Hover, SkinState::Pressed, SkinState::Selected}) {
                if (!id.isEmpty() && id.endsWith(variantId(QString(), s)))
                    variantIds.push_back(id);
            }
            if (!kind.isEmpty() && defsDepth == 0) {
                if (id.isEmpty())
                    throw ParseFault{QStringLiteral("an element of kind \"%1\" has no id").arg(kind)};
                if (kind == QLatin1String("form")) {
                    if (openForm >= 0)
                        throw ParseFault{QStringLiteral("form \"%1\" lies inside another form").arg(id)};
                    for (const SkinFormDef &f : doc->forms_) {
                        if (f.name == id)
                            throw ParseFault{QStringLiteral("form \"%1\" is defined twice").arg(id)};
                    }
                    openForm = static_cast<int>(doc->forms_.size());
                    const ObjectReader numbers(attrs, id);
                    doc->forms_.push_back(SkinFormDef{
                        id,
                        {},
                        {},
                        parsePalette(attrs, id),
                        QPointF(numbers.real("data-stretch-x", -1), numbers.real("data-stretch-y", -1))});
                    frame.form = true;
                } else {
                    if (openForm < 0)
                        throw ParseFault{QStringLiteral("object \"%1\" lies outside any form").arg(id)};
                    if (formOf.value(id, -1) == openForm)
                        throw ParseFault{QStringLiteral("object \"%1\" is defined twice").arg(id)};
                    formOf.insert(id, openForm);
                    doc->forms_[openForm].objects.push_back(parseObject(attrs, id, kind));
                }
            }
            stack.push_back(frame);
        }
        if (xml.hasError()) {
            throw ParseFault{QStringLiteral("%1 (line %2, column %3)")
                                 .arg(xml.errorString())
                                 .arg(xml.lineNumber())
                                 .arg(xml.columnNumber())};
        }
        if (doc->forms_.empty())
            throw ParseFault{QStringLiteral("it holds no form (a group with data-kind=\"form\")")};
    } catch (const ParseFault &fault) {
        throw Error(QStringLiteral("The skin file \"%1\" is not a valid skin: %2").arg(origin, fault.text));
    }

    doc->renderer_ = std::make_unique<QSvgRenderer>(data);
    if (!doc->renderer_->isValid())
        throw Error(QStringLiteral("The skin file \"%1\" is not a valid skin: its drawing cannot be read")
                        .arg(origin));
    for (SkinFormDef &f : doc->forms_) {
        f.frame = doc->elementBounds(f.name);
        if (f.stretch.x() < 0)
            f.stretch.setX(f.frame.center().x());
        if (f.stretch.y() < 0)
            f.stretch.setY(f.frame.center().y());
        if (!f.frame.contains(f.stretch))
            throw Error(QStringLiteral("The skin file \"%1\" is not a valid skin: the stretch lines of form "
                                       "\"%2\" lie outside it")
                            .arg(origin, f.name));
        for (SkinObjectDef &o : f.objects) {
            o.bounds = doc->elementBounds(o.name);
            if (o.bounds.width() <= 0 || o.bounds.height() <= 0)
                throw Error(
                    QStringLiteral("The skin file \"%1\" is not a valid skin: object \"%2\" has no extent")
                        .arg(origin, o.name));
        }
    }
    for (const QString &id : std::as_const(variantIds))
        doc->variants_.insert(id, doc->elementBounds(id));
    return doc;
}

QRectF SkinDocument::elementBounds(const QString &id) const {
    return renderer_->transformForElement(id).mapRect(renderer_->boundsOnElement(id));
}

const SkinFormDef *SkinDocument::form(const QString &name) const {
    for (const SkinFormDef &f : forms_) {
        if (f.name == name)
            return &f;
    }
    return nullptr;
}

QStringList SkinDocument::formNames() const {
    QStringList names;
    for (const SkinFormDef &f : forms_)
        names.push_back(f.name);
    return names;
}

QString SkinDocument::variantId(const QString &name, SkinState state) {
    switch (state) {
    case SkinState::Hover:
        return name + QLatin1String(".hover");
    case SkinState::Pressed:
        return name + QLatin1String(".pressed");
    case SkinState::Selected:
        return name + QLatin1String(".selected");
    }
    return name;
}

std::optional<QRectF> SkinDocument::variantBounds(const QString &name, SkinState state) const {
    const auto it = variants_.constFind(variantId(name, state));
    if (it == variants_.constEnd() || it->isEmpty())
        return std::nullopt;
    return *it;
}

} // namespace varnelo
