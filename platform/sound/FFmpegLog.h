#pragma once
#include <QLoggingCategory>

namespace varnelo {

// FFmpeg's own messages ("Header missing", "invalid concatenated file", ...)
// belong in the program's log, not on the terminal: once routed they go to
// the logging category "varnelo.ffmpeg", which is quiet by default.
// QT_LOGGING_RULES="varnelo.ffmpeg.debug=true" shows every one of them.
Q_DECLARE_LOGGING_CATEGORY(ffmpegLog)

// Installs the route for the whole process; calling it again does nothing.
void RouteFFmpegLog();

} // namespace varnelo
