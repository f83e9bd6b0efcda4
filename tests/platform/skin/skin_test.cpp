#include "common/Error.h"
#include "platform/skin/Skin.h"

#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace varnelo;

namespace {

const QString kForm = QStringLiteral("varnelo");

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content) {
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(content);
    return path;
}

QByteArray svgWith(const QByteArray &body) {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"200\" height=\"100\" viewBox=\"0 0 200 100\">" +
           body + "</svg>";
}

// A small skin: one form with a button, a text, a bar and an area.
QByteArray smallSkin() {
    return svgWith(
        "<g id=\"varnelo\" data-kind=\"form\"><rect width=\"200\" height=\"100\" fill=\"#000\"/>"
        "<rect id=\"btnplay\" data-kind=\"button\" x=\"10\" y=\"10\" width=\"30\" height=\"20\" "
        "fill=\"#333\"/>"
        "<rect id=\"labtime\" data-kind=\"text\" x=\"50\" y=\"10\" width=\"100\" height=\"20\" "
        "fill=\"none\" data-color=\"#ffffff\" data-text=\"start\"/>"
        "<rect id=\"bar\" data-kind=\"range\" x=\"20\" y=\"60\" width=\"160\" height=\"10\" "
        "fill=\"none\" data-min=\"0\" data-max=\"7500\"/>"
        "<rect id=\"area_list\" data-kind=\"area\" x=\"150\" y=\"0\" width=\"50\" height=\"50\"/></g>"
        "<g id=\"mini\" data-kind=\"form\"><rect x=\"0\" y=\"0\" width=\"50\" height=\"40\"/>"
        "<rect id=\"close\" data-kind=\"button\" x=\"5\" y=\"5\" width=\"10\" height=\"10\"/></g>");
}

// Counts the pixels that differ noticeably between two images within a rectangle.
int changedPixels(const QImage &a, const QImage &b, const QRect &r) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor ca = a.pixelColor(x, y), cb = b.pixelColor(x, y);
            if (std::abs(ca.red() - cb.red()) + std::abs(ca.green() - cb.green()) +
                    std::abs(ca.blue() - cb.blue()) >
                30)
                ++n;
        }
    }
    return n;
}

class DefaultSkin : public ::testing::Test {
protected:
    void SetUp() override {
        skin.LoadSkin(Skin::DefaultSkinPath());
        skin.ApplySkinForm(kForm);
        skin.show();
    }
    QImage shot() { return skin.grab().toImage(); }
    QPoint centre(const char *name) {
        return skin.GetObject(QLatin1String(name)).AsElement().rect().center();
    }
    Skin skin;
};

} // namespace

TEST_F(DefaultSkin, HasEveryObjectTheProgramUsesOnA588By442Form) {
    EXPECT_EQ(skin.size(), QSize(588, 442));
    for (const char *name :
         {"file",    "tools",  "settings", "radio",   "local",    "rip",  "options", "btnplay",
          "btnstop", "btnrec", "btnpre",   "btnnext", "search",   "add",  "remove",  "up",
          "down",    "vj",     "vjj",      "help",    "minimize", "close"}) {
        const SkinObject o = skin.GetObject(QLatin1String(name));
        ASSERT_FALSE(o.isNull()) << name;
        EXPECT_EQ(o.GetName(), QLatin1String(name));
        EXPECT_EQ(o.kind(), SkinObjectKind::Button) << name;
    }
    EXPECT_FALSE(skin.GetObject(QStringLiteral("labtime")).AsText().isNull());
    const SkinRange bar = skin.GetObject(QStringLiteral("bar")).AsRange();
    EXPECT_EQ(bar.minimum(), 0);
    EXPECT_EQ(bar.maximum(), 7500);
    EXPECT_EQ(skin.GetObject(QStringLiteral("bar")).AsElement().rect().width(), 160);
    const SkinRange barv = skin.GetObject(QStringLiteral("barv")).AsRange();
    EXPECT_EQ(barv.minimum(), 0);
    EXPECT_EQ(barv.maximum(), 100);

    const QRect form(QPoint(0, 0), skin.size());
    for (const char *area : {"area_tree", "area_list", "area_recordings", "area_panel", "area_state"}) {
        const QRect r = skin.areaRect(QLatin1String(area));
        EXPECT_FALSE(r.isEmpty()) << area;
        EXPECT_TRUE(form.contains(r)) << area;
    }
    EXPECT_TRUE(skin.areaRect(QStringLiteral("area_list"))
                    .contains(skin.areaRect(QStringLiteral("area_recordings"))));
    // The mute buttons go where nothing of the skin reacts.
    const QRect mute(462, 398, 25, 24);
    for (const QString &name : skin.objectNames()) {
        if (name != QLatin1String("title")) {
            EXPECT_FALSE(skin.GetObject(name).AsElement().rect().intersects(mute)) << qPrintable(name);
        }
    }
}

TEST_F(DefaultSkin, MissingNameGivesEmptyObjectWhoseViewsDoNothing) {
    const SkinObject none = skin.GetObject(QStringLiteral("nosuch"));
    EXPECT_TRUE(none.isNull());
    EXPECT_TRUE(none.GetName().isEmpty());
    EXPECT_TRUE(none.AsText().isNull());
    EXPECT_TRUE(none.AsRange().isNull());
    SkinRange r = none.AsRange();
    r.SetValue(5);
    EXPECT_EQ(r.GetValue(), 0);
    // Names are compared exactly.
    EXPECT_TRUE(skin.GetObject(QStringLiteral("BtnPlay")).isNull());
    // A view of the wrong kind is empty too.
    EXPECT_TRUE(skin.GetObject(QStringLiteral("btnplay")).AsRange().isNull());
    EXPECT_TRUE(skin.GetObject(QStringLiteral("bar")).AsText().isNull());
    EXPECT_TRUE(skin.areaRect(QStringLiteral("area_nowhere")).isNull());
}

TEST_F(DefaultSkin, ClickReportsDownUpAndClickWithCoordinatesInTheObject) {
    QSignalSpy down(&skin, &Skin::OnMouseDown), up(&skin, &Skin::OnMouseUp), click(&skin, &Skin::OnClick);
    const QRect play = skin.GetObject(QStringLiteral("btnplay")).AsElement().rect();
    QTest::mouseClick(&skin, Qt::LeftButton, {}, play.topLeft() + QPoint(7, 9));
    ASSERT_EQ(down.count(), 1);
    EXPECT_EQ(down[0][0].value<SkinObject>().GetName(), QStringLiteral("btnplay"));
    EXPECT_EQ(down[0][1].value<Qt::MouseButton>(), Qt::LeftButton);
    EXPECT_EQ(down[0][2].toInt(), 7);
    EXPECT_EQ(down[0][3].toInt(), 9);
    ASSERT_EQ(up.count(), 1);
    EXPECT_EQ(up[0][2].toInt(), 7);
    ASSERT_EQ(click.count(), 1);
    EXPECT_EQ(click[0][0].value<SkinObject>(), skin.GetObject(QStringLiteral("btnplay")));

    // Each button reports itself.
    for (const char *name : {"btnstop", "radio", "vjj", "close", "search"}) {
        QTest::mouseClick(&skin, Qt::LeftButton, {}, centre(name));
        EXPECT_EQ(click.last()[0].value<SkinObject>().GetName(), QLatin1String(name));
    }
    // Nothing to hit in an area or on bare background.
    const int clicks = click.count();
    QTest::mouseClick(&skin, Qt::LeftButton, {}, skin.areaRect(QStringLiteral("area_list")).center());
    QTest::mouseClick(&skin, Qt::LeftButton, {}, QPoint(470, 410)); // the mute buttons' place
    EXPECT_EQ(click.count(), clicks);
    EXPECT_EQ(down.count(), clicks);
}

TEST_F(DefaultSkin, ReleaseElsewhereOrOtherButtonReportsNoClick) {
    QSignalSpy down(&skin, &Skin::OnMouseDown), up(&skin, &Skin::OnMouseUp), click(&skin, &Skin::OnClick);
    QTest::mousePress(&skin, Qt::LeftButton, {}, centre("btnplay"));
    QTest::mouseMove(&skin, centre("btnstop"));
    QTest::mouseRelease(&skin, Qt::LeftButton, {}, centre("btnstop"));
    ASSERT_EQ(up.count(), 1);
    EXPECT_EQ(up[0][0].value<SkinObject>().GetName(), QStringLiteral("btnplay")); // the grab holds
    EXPECT_EQ(click.count(), 0);

    QTest::mouseClick(&skin, Qt::RightButton, {}, centre("btnrec"));
    ASSERT_EQ(down.count(), 2);
    EXPECT_EQ(down[1][1].value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(up.count(), 2);
    EXPECT_EQ(click.count(), 0);
}

TEST_F(DefaultSkin, HidingUnderAHeldButtonDropsTheGrab) {
    QSignalSpy click(&skin, &Skin::OnClick);
    QObject::connect(
        &skin, &Skin::OnMouseDown, &skin, [this] { skin.hide(); }, Qt::SingleShotConnection);
    QTest::mousePress(&skin, Qt::LeftButton, {}, centre("minimize"));
    EXPECT_FALSE(skin.isVisible());
    skin.show();
    QTest::mouseClick(&skin, Qt::LeftButton, {}, centre("btnstop"));
    ASSERT_EQ(click.count(), 1);
    EXPECT_EQ(click[0][0].value<SkinObject>().GetName(), QStringLiteral("btnstop"));
}

TEST_F(DefaultSkin, DraggingTheBarsReportsPositionsInRange) {
    QSignalSpy track(&skin, &Skin::OnScrollTrack), up(&skin, &Skin::OnMouseUp);
    const QRect bar = skin.GetObject(QStringLiteral("bar")).AsElement().rect();
    const int y = bar.center().y();
    QTest::mousePress(&skin, Qt::LeftButton, {}, QPoint(bar.left() + 40, y));
    ASSERT_EQ(track.count(), 1);
    EXPECT_EQ(track[0][0].value<SkinObject>().GetName(), QStringLiteral("bar"));
    EXPECT_EQ(track[0][1].toInt(), 1875);                      // 40 of 160 pixels
    QTest::mouseMove(&skin, QPoint(bar.left() + 120, y + 30)); // leaving the bar vertically keeps the drag
    QTest::mouseMove(&skin, QPoint(bar.right() + 200, y));
    QTest::mouseRelease(&skin, Qt::LeftButton, {}, QPoint(bar.right() + 200, y));
    ASSERT_GE(track.count(), 3);
    EXPECT_EQ(track[1][1].toInt(), 5625);
    for (const QList<QVariant> &e : track)
        EXPECT_TRUE(e[1].toInt() >= 0 && e[1].toInt() <= 7500);
    EXPECT_EQ(track.last()[1].toInt(), 7500);
    EXPECT_EQ(skin.GetObject(QStringLiteral("bar")).AsRange().GetValue(), 7500);
    ASSERT_EQ(up.count(), 1);
    EXPECT_EQ(up[0][2].toInt(), 160); // clamped to the bar's width

    track.clear();
    const QRect barv = skin.GetObject(QStringLiteral("barv")).AsElement().rect();
    QTest::mousePress(&skin, Qt::LeftButton, {}, QPoint(barv.left() + barv.width() / 2, barv.center().y()));
    QTest::mouseMove(&skin, QPoint(barv.left() - 300, barv.center().y()));
    QTest::mouseRelease(&skin, Qt::LeftButton, {}, QPoint(barv.left() - 300, barv.center().y()));
    ASSERT_EQ(track.count(), 2);
    EXPECT_EQ(track[0][0].value<SkinObject>().GetName(), QStringLiteral("barv"));
    EXPECT_EQ(track[0][1].toInt(), 50);
    EXPECT_EQ(track[1][1].toInt(), 0);

    // The wheel over a range moves it a twentieth of its span per notch.
    track.clear();
    QWheelEvent wheel(QPointF(barv.center()), QPointF(skin.mapToGlobal(barv.center())), {}, {0, 240},
                      Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&skin, &wheel);
    ASSERT_EQ(track.count(), 1);
    EXPECT_EQ(track[0][1].toInt(), 10);
}

TEST_F(DefaultSkin, TextsValuesAndMarksShowInThePainting) {
    const SkinObject lab = skin.GetObject(QStringLiteral("labtime"));
    const QRect labRect = lab.AsElement().rect();
    const QImage before = shot();
    lab.AsText().SetText(QStringLiteral("12:34:56"));
    EXPECT_EQ(lab.AsText().GetText(), QStringLiteral("12:34:56"));
    const QImage after = shot();
    EXPECT_GT(changedPixels(before, after, labRect), 20);
    EXPECT_EQ(changedPixels(before, after, QRect(0, 0, 588, labRect.top() - 1)), 0);

    SkinRange bar = skin.GetObject(QStringLiteral("bar")).AsRange();
    const QRect r = skin.GetObject(QStringLiteral("bar")).AsElement().rect();
    const QPoint probe(r.left() + r.width() * 3 / 4 - 10, r.center().y());
    bar.SetValue(0);
    const QImage empty = shot();
    bar.SetValue(99999); // clamped
    EXPECT_EQ(bar.GetValue(), 7500);
    const QImage full = shot();
    EXPECT_GT(changedPixels(empty, full, r), 100);
    // The filled part takes the accent (blue) colour.
    EXPECT_GT(full.pixelColor(probe).blue(), empty.pixelColor(probe).blue() + 60);

    const QRect tab = skin.GetObject(QStringLiteral("rip")).AsElement().rect();
    skin.SetSelected(QStringLiteral("rip"), true);
    EXPECT_TRUE(skin.isSelected(QStringLiteral("rip")));
    const QImage selected = shot();
    EXPECT_GT(changedPixels(full, selected, tab), 100);
}

TEST_F(DefaultSkin, HoverAndPressLightTheButton) {
    const QRect add = skin.GetObject(QStringLiteral("add")).AsElement().rect();
    QTest::mouseMove(&skin, QPoint(5, 300));
    const QImage idle = shot();
    QTest::mouseMove(&skin, add.center());
    const QImage hover = shot();
    EXPECT_GT(changedPixels(idle, hover, add), 10);
    QTest::mousePress(&skin, Qt::LeftButton, {}, add.center());
    const QImage pressed = shot();
    EXPECT_GT(changedPixels(hover, pressed, add), 10);
    QTest::mouseRelease(&skin, Qt::LeftButton, {}, add.center());
}

TEST(SkinFiles, SkinBesideTheExecutableOverridesTheDefault) {
    QTemporaryDir dir;
    EXPECT_EQ(Skin::SkinPathFor(dir.path()), Skin::DefaultSkinPath());
    const QString path = writeFile(dir, Skin::OverrideFileName(), smallSkin());
    EXPECT_EQ(Skin::SkinPathFor(dir.path()), path);

    Skin skin;
    skin.LoadSkin(Skin::SkinPathFor(dir.path()));
    skin.ApplySkinForm(kForm);
    EXPECT_EQ(skin.size(), QSize(200, 100));
    EXPECT_EQ(skin.GetObject(QStringLiteral("btnplay")).AsElement().rect(), QRect(10, 10, 30, 20));
    EXPECT_TRUE(skin.GetObject(QStringLiteral("btnstop")).isNull());
    EXPECT_EQ(skin.GetObject(QStringLiteral("labtime")).AsText().GetText(), QStringLiteral("start"));
    EXPECT_EQ(skin.areaRect(QStringLiteral("area_list")), QRect(150, 0, 50, 50));

    // A second form of the same file shows only its own objects.
    skin.ApplySkinForm(QStringLiteral("mini"));
    EXPECT_EQ(skin.size(), QSize(50, 40));
    EXPECT_FALSE(skin.GetObject(QStringLiteral("close")).isNull());
    EXPECT_TRUE(skin.GetObject(QStringLiteral("btnplay")).isNull());
    EXPECT_THROW(skin.ApplySkinForm(QStringLiteral("nosuch")), Error);
}

TEST(SkinFiles, ReloadKeepsTheProgramsStateAndHandles) {
    QTemporaryDir dir;
    Skin skin;
    skin.LoadSkin(Skin::DefaultSkinPath());
    skin.ApplySkinForm(kForm);
    SkinObject bar = skin.GetObject(QStringLiteral("bar"));
    bar.AsRange().SetValue(3000);
    skin.GetObject(QStringLiteral("labtime")).AsText().SetText(QStringLiteral("00:00:09"));
    skin.LoadSkin(writeFile(dir, QStringLiteral("s.svg"), smallSkin()));
    EXPECT_EQ(skin.formName(), kForm);
    EXPECT_EQ(bar.AsRange().GetValue(), 3000);
    EXPECT_EQ(skin.GetObject(QStringLiteral("labtime")).AsText().GetText(), QStringLiteral("00:00:09"));
    EXPECT_TRUE(skin.GetObject(QStringLiteral("barv")).isNull()); // the small skin has none
}

TEST(SkinFiles, TheFormGivesThePaletteOfTheProgramsWindows) {
    QTemporaryDir dir;
    Skin skin;
    QPalette base;
    base.setColor(QPalette::Window, Qt::white);
    base.setColor(QPalette::ToolTipBase, Qt::yellow);
    skin.LoadSkin(
        writeFile(dir, QStringLiteral("p.svg"),
                  svgWith("<g id=\"varnelo\" data-kind=\"form\" data-window=\"#102030\" "
                          "data-window-text=\"#f0f0f0\" data-button=\"#405060\"><rect width=\"200\" "
                          "height=\"100\"/></g>")));
    EXPECT_EQ(skin.formPalette(base), base); // no form applied yet
    skin.ApplySkinForm(kForm);
    const QPalette p = skin.formPalette(base);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        EXPECT_EQ(p.color(group, QPalette::Window), QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(p.color(QPalette::Button), QColor(0x40, 0x50, 0x60));
    EXPECT_EQ(p.color(QPalette::ToolTipBase), QColor(Qt::yellow)); // not given: the platform's
    EXPECT_EQ(p.color(QPalette::Disabled, QPalette::WindowText), QColor(0x80, 0x88, 0x90)); // halfway
}

TEST(SkinFiles, BadFilesGiveClearErrorsAndKeepTheSkinShown) {
    QTemporaryDir dir;
    Skin skin;
    EXPECT_THROW(skin.ApplySkinForm(kForm), Error); // nothing loaded yet
    skin.LoadSkin(Skin::DefaultSkinPath());
    skin.ApplySkinForm(kForm);

    const auto errorOf = [&](const QString &path) -> QString {
        try {
            skin.LoadSkin(path);
        } catch (const Error &e) {
            return e.message();
        }
        return QString();
    };
    const QString missing = dir.filePath(QStringLiteral("gone.svg"));
    EXPECT_TRUE(errorOf(missing).contains(missing));

    const struct {
        QByteArray content;
        const char *expected;
    } cases[] = {
        {"<svg xmlns=\"http://www.w3.org/2000/svg\"><g id=\"varnelo\" data-kind=\"form\">\n<rect", "line 2"},
        {"", "the file is empty"},
        {"<html><body/></html>", "not an SVG drawing"},
        {svgWith("<rect width=\"5\" height=\"5\"/>"), "holds no form"},
        {svgWith("<rect id=\"bar\" data-kind=\"range\" width=\"5\" height=\"5\"/>"), "outside any form"},
        {svgWith("<g id=\"varnelo\" data-kind=\"form\"><rect id=\"bar\" data-kind=\"range\" width=\"5\" "
                 "height=\"5\" data-min=\"10\" data-max=\"10\"/></g>"),
         "data-max"},
        {svgWith("<g id=\"varnelo\" data-kind=\"form\"><rect id=\"x\" data-kind=\"knob\" width=\"5\" "
                 "height=\"5\"/></g>"),
         "unknown kind \"knob\""},
        {svgWith("<g id=\"varnelo\" data-kind=\"form\"><rect id=\"t\" data-kind=\"text\" width=\"5\" "
                 "height=\"5\" data-color=\"purplish\"/></g>"),
         "is not a colour"},
        {svgWith("<g id=\"varnelo\" data-kind=\"form\"><rect id=\"a\" data-kind=\"button\" width=\"5\" "
                 "height=\"5\"/><rect id=\"a\" data-kind=\"button\" width=\"5\" height=\"5\"/></g>"),
         "defined twice"},
        {svgWith("<g id=\"varnelo\" data-kind=\"form\" data-base=\"#12345\"><rect width=\"5\" "
                 "height=\"5\"/></g>"),
         "data-base=\"#12345\" of object \"varnelo\" is not a colour"},
    };
    int n = 0;
    for (const auto &c : cases) {
        const QString path = writeFile(dir, QStringLiteral("bad%1.svg").arg(n++), c.content);
        const QString message = errorOf(path);
        EXPECT_TRUE(message.contains(path)) << qPrintable(message);
        EXPECT_TRUE(message.contains(QLatin1String(c.expected))) << qPrintable(message);
    }
    // The skin loaded before is still the one in use.
    EXPECT_EQ(skin.size(), QSize(588, 442));
    EXPECT_FALSE(skin.GetObject(QStringLiteral("btnplay")).isNull());
}

TEST(SkinWindow, TitleDragsTheBorderlessWindow) {
    QWidget window;
    Skin *skin = new Skin(&window);
    skin->LoadSkin(Skin::DefaultSkinPath());
    skin->ApplySkin(&window);
    skin->ApplySkinForm(kForm);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(window.size(), QSize(588, 442));
    window.move(100, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QSignalSpy click(skin, &Skin::OnClick);
    const QPoint start(400, 18); // title bar, away from its buttons
    const QPoint before = window.pos();
    QTest::mousePress(skin, Qt::LeftButton, {}, start);
    QTest::mouseMove(skin, start + QPoint(30, 20));
    QTest::mouseRelease(skin, Qt::LeftButton, {}, start + QPoint(30, 20));
    EXPECT_EQ(window.pos(), before + QPoint(30, 20));
    EXPECT_EQ(click.count(), 0);
}

// A window dragged larger at its edge stretches the form at its lines: what lies
// before them keeps its place, what lies beyond moves, what spans them grows;
// the drawing beyond the lines is the design's, and the form's size is the least.
TEST(SkinWindow, EdgeDragResizesAndTheFormStretchesAtItsLines) {
    QTemporaryDir dir;
    QByteArray content = smallSkin();
    content.replace("data-kind=\"form\"><rect width=\"200\" height=\"100\" fill=\"#000\"/>",
                    "data-kind=\"form\" data-stretch-x=\"100\" data-stretch-y=\"40\">"
                    "<rect width=\"200\" height=\"100\" fill=\"#000\"/>"
                    "<rect x=\"190\" y=\"90\" width=\"10\" height=\"10\" fill=\"#ff0000\"/>");
    QWidget window;
    Skin *skin = new Skin(&window);
    skin->LoadSkin(writeFile(dir, QStringLiteral("s.svg"), content));
    skin->ApplySkin(&window);
    skin->ApplySkinForm(kForm);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const auto rectOf = [&](const char *name) {
        return skin->GetObject(QLatin1String(name)).AsElement().rect();
    };
    const QRect play = rectOf("btnplay"), bar = rectOf("bar"),
                list = skin->areaRect(QStringLiteral("area_list"));

    const QPoint corner(199, 99);
    QTest::mousePress(skin, Qt::LeftButton, {}, corner);
    QTest::mouseMove(skin, corner + QPoint(60, 30));
    QTest::mouseRelease(skin, Qt::LeftButton, {}, corner + QPoint(60, 30));
    ASSERT_EQ(window.size(), QSize(260, 130));
    EXPECT_EQ(skin->size(), window.size());
    EXPECT_EQ(rectOf("btnplay"), play);
    EXPECT_EQ(rectOf("bar"), bar.adjusted(0, 30, 60, 30));
    EXPECT_EQ(skin->areaRect(QStringLiteral("area_list")), list.adjusted(60, 0, 60, 30));
    const QImage image = skin->grab().toImage();
    EXPECT_EQ(image.pixelColor(255, 125), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(150, 70), QColor(Qt::black));

    QTest::mousePress(skin, Qt::LeftButton, {}, QPoint(259, 129));
    QTest::mouseMove(skin, QPoint(10, 10));
    QTest::mouseRelease(skin, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(window.size(), QSize(200, 100));
}

TEST(SkinWindow, HandlesOutliveTheSkinAndHandlersMayDeleteIt) {
    auto *skin = new Skin;
    skin->LoadSkin(Skin::DefaultSkinPath());
    skin->ApplySkinForm(kForm);
    skin->show();
    SkinObject lab = skin->GetObject(QStringLiteral("labtime"));
    const QPoint play = skin->GetObject(QStringLiteral("btnplay")).AsElement().rect().center();
    QObject::connect(skin, &Skin::OnMouseDown, skin, [skin] { delete skin; });
    QTest::mousePress(skin, Qt::LeftButton, {}, play);
    EXPECT_TRUE(lab.isNull());
    lab.AsText().SetText(QStringLiteral("x")); // does nothing, does not crash
}
