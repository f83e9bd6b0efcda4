#pragma once
#include "common/Player.h"
#include "platform/skin/Skin.h"

#include <QObject>
#include <functional>

class QMenu;
class QTreeView;

namespace varnelo {

class MainWindow;

// The skin surface: hooks the skin up at start-up, keeps the views of the
// objects the program writes ("labtime", "bar", "barv") and turns the skin's
// clicks, presses, releases and scrolls into commands.
class SkinSurface : public QObject {
    Q_OBJECT
public:
    SkinSurface(MainWindow &window, QObject *parent = nullptr);

    // Loads the skin (a varnelo.svg beside the executable overrides the built-in
    // one), applies it and its form, and looks up the written objects. A skin
    // failure throws: start-up then ends there.
    void HookUp();

    void SetLabtime(const QString &text);
    int BarvValue() const;
    void SetBarv(int value);
    int BarValue() const;
    void SetBar(int value);
    // Shows the current page on the skin's tabs.
    void MarkPage();

    void SkinClick(const SkinObject &source);
    void SkinMouseDown(const SkinObject &source, Qt::MouseButton button, int x, int y);
    void SkinMouseUp(const SkinObject &source, Qt::MouseButton button, int x, int y);
    void SkinScrollTrack(const SkinObject &source, int newPos);

    // Where a menu opened by a skin object appears: under the object.
    static QPoint PopupPosition(const Skin *skin, const SkinObject &opener);

    // Row moves on the list of the current page ("up" / "down").
    static int MoveSelectedRow(QTreeView *view, int step);

    // The transport buttons go to the window's playback coordinator; the seek
    // bar and the rip page's commands are bound by those subsystems.
    std::function<void()> beginSeek;
    std::function<void()> endSeek; // reads the bar's value
    std::function<void()> openCdDrive;
    std::function<void(int)> cdSeek; // the release point across the bar (0..160)
    std::function<bool()> cdRowSelected;
    std::function<void()> startRecording;

private:
    void popup(QMenu *menu, const SkinObject &opener);
    void switchToRadio();
    void switchToLocal();
    void switchToRip();
    void stopIfLoaded(MediaKind kind);
    void stopButton();
    void stepButton(bool next);

    MainWindow &w_;
    SkinText labtimeText_;
    SkinElement labtimeElement_;
    SkinRange barRange_;
    SkinElement barElement_;
    SkinRange barvRange_;
    SkinElement barvElement_;
};

} // namespace varnelo
