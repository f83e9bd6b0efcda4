#pragma once
#include "platform/stream/StreamFramer.h"
#include "radio/Recorder.h"

#include <QString>
#include <cstdint>
#include <deque>
#include <mutex>

namespace varnelo {

// What a station's thread leaves for the recorder: its own frames and titles
// in stream order (as broadcast), or where each new title's audio begins
// (split by title). Taken on the GUI thread.
struct Recorder::Inbox {
    struct Item {
        bool title = false;
        StreamFrame frame;
        QString metadata;
    };
    struct TitleMark {
        QString metadata;
        std::uint64_t channelFrame = 0;
    };
    std::mutex mutex;
    std::deque<Item> items;
    std::deque<TitleMark> marks;
};

} // namespace varnelo
