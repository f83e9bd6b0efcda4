#include "platform/sound/FFmpegLog.h"

#include <QString>
#include <cstdarg>
#include <mutex>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

namespace varnelo {

// Only critical messages would show unasked, and FFmpeg's never are.
Q_LOGGING_CATEGORY(ffmpegLog, "varnelo.ffmpeg", QtCriticalMsg)

namespace {

QtMsgType messageType(int level) {
    if (level <= AV_LOG_ERROR)
        return QtWarningMsg;
    if (level <= AV_LOG_WARNING)
        return QtInfoMsg;
    return QtDebugMsg;
}

// Called on whatever thread FFmpeg runs; a line often comes in several calls,
// so each thread gathers its own until the newline.
void logCallback(void *context, int level, const char *format, va_list args) {
    if (level > av_log_get_level())
        return;
    const QtMsgType type = messageType(level);
    if (!ffmpegLog().isEnabled(type))
        return;
    thread_local std::string line;
    thread_local int printPrefix = 1;
    char part[1024];
    av_log_format_line2(context, level, format, args, part, sizeof part, &printPrefix);
    line += part;
    if (line.empty() || line.back() != '\n')
        return;
    const QString text = QString::fromUtf8(line).trimmed();
    line.clear();
    if (text.isEmpty())
        return;
    switch (type) {
    case QtWarningMsg:
        qCWarning(ffmpegLog).noquote() << text;
        break;
    case QtInfoMsg:
        qCInfo(ffmpegLog).noquote() << text;
        break;
    default:
        qCDebug(ffmpegLog).noquote() << text;
        break;
    }
}

} // namespace

void RouteFFmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(logCallback); });
}

} // namespace varnelo
