#pragma once

namespace varnelo {

enum class Page { Library, Radio, Rip };

// What the window shows, for the parts whose actions follow it (the transport
// acts on the shown list, a finished recording shows the recordings list). The
// window alone changes it; the parts only read it.
class ShownPage {
public:
    virtual ~ShownPage() = default;
    virtual Page page() const = 0;
    virtual bool recordingsListShown() const = 0;

    bool radio() const { return page() == Page::Radio; }
    bool rip() const { return page() == Page::Rip; }
};

// A page set by its owner: the window's, the command line's and the tests'.
class SetPage final : public ShownPage {
public:
    explicit SetPage(Page page = Page::Library) : page_(page) {}
    Page page() const override { return page_; }
    bool recordingsListShown() const override { return recordingsShown_; }
    void show(Page page) { page_ = page; }
    void showRecordingsList(bool shown) { recordingsShown_ = shown; }

private:
    Page page_;
    bool recordingsShown_ = false;
};

} // namespace varnelo
