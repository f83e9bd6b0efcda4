#include "platform/sound/SoundCapture.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/simple.h>

#include <QElapsedTimer>

#include <atomic>
#include <thread>
#include <vector>

// The sound server's monitor sources (what each of its outputs plays), which
// Qt Multimedia does not list, captured through the PulseAudio client library.
namespace varnelo {

namespace {

struct Listing {
    std::vector<MonitorSource> sources;
    bool done = false;
};

void onSource(pa_context *, const pa_source_info *info, int eol, void *data) {
    auto *listing = static_cast<Listing *>(data);
    if (eol != 0) {
        listing->done = true;
        return;
    }
    if (info && info->monitor_of_sink != PA_INVALID_INDEX)
        listing->sources.push_back({QByteArray(info->name), QString::fromUtf8(info->description)});
}

} // namespace

std::vector<MonitorSource> listMonitorSources(int timeoutMs) {
    Listing listing;
    pa_mainloop *loop = pa_mainloop_new();
    if (!loop)
        return {};
    pa_context *context = pa_context_new(pa_mainloop_get_api(loop), "Varnelo");
    // No server is started for us: without one there is simply nothing to list.
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        QElapsedTimer clock;
        clock.start();
        pa_operation *operation = nullptr;
        while (!listing.done && clock.elapsed() < timeoutMs) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (!PA_CONTEXT_IS_GOOD(state))
                break;
            if (state == PA_CONTEXT_READY && !operation)
                operation = pa_context_get_source_info_list(context, &onSource, &listing);
            if (pa_mainloop_prepare(loop, int((timeoutMs - clock.elapsed()) * 1000)) < 0 ||
                pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0)
                break;
        }
        if (operation) {
            pa_operation_cancel(operation);
            pa_operation_unref(operation);
        }
        pa_context_disconnect(context);
    }
    if (context)
        pa_context_unref(context);
    pa_mainloop_free(loop);
    return listing.done ? listing.sources : std::vector<MonitorSource>();
}

namespace {

class MonitorCapture final : public CaptureSource {
public:
    MonitorCapture(MonitorSource source, SoundFormat wanted, std::shared_ptr<CaptureBuffer> buffer)
        : m_source(std::move(source)), m_format(wanted), m_buffer(std::move(buffer)) {}
    ~MonitorCapture() override { stop(); }

    QString start() override {
        pa_sample_spec spec;
        spec.format = PA_SAMPLE_FLOAT32LE;
        spec.rate = std::uint32_t(m_format.sampleRate);
        spec.channels = std::uint8_t(m_format.channels);
        if (!pa_sample_spec_valid(&spec))
            return QStringLiteral("The record format cannot be asked of the sound server");
        if (!m_buffer->setInput(m_format.sampleRate, m_format.channels, SampleType::Float))
            return QStringLiteral("The record format cannot be made from the monitor's format");
        // Pieces of 50 ms: the reading thread sees a stop soon.
        m_chunkFrames = std::size_t(m_format.sampleRate) / 20;
        pa_buffer_attr attr;
        attr.maxlength = std::uint32_t(-1);
        attr.tlength = std::uint32_t(-1);
        attr.prebuf = std::uint32_t(-1);
        attr.minreq = std::uint32_t(-1);
        attr.fragsize = std::uint32_t(m_chunkFrames * sizeof(float) * std::size_t(m_format.channels));
        int error = 0;
        m_stream = pa_simple_new(nullptr, "Varnelo", PA_STREAM_RECORD, m_source.name.constData(), "Recording",
                                 &spec, nullptr, &attr, &error);
        if (!m_stream)
            return QStringLiteral("The monitor could not be opened: %1")
                .arg(QString::fromUtf8(pa_strerror(error)));
        m_stopping = false;
        m_thread = std::thread([this] { run(); });
        return {};
    }

    void stop() override {
        if (!m_thread.joinable())
            return;
        m_stopping = true;
        m_thread.join();
        pa_simple_free(m_stream);
        m_stream = nullptr;
    }

    void setVolume(double volume) override { m_buffer->setGain(volume); }

private:
    void run() {
        std::vector<float> chunk(m_chunkFrames * std::size_t(m_format.channels));
        while (!m_stopping) {
            int error = 0;
            if (pa_simple_read(m_stream, chunk.data(), chunk.size() * sizeof(float), &error) < 0)
                return; // the server went away: nothing more comes
            m_buffer->push(chunk.data(), m_chunkFrames);
        }
    }

    MonitorSource m_source;
    SoundFormat m_format;
    std::shared_ptr<CaptureBuffer> m_buffer;
    pa_simple *m_stream = nullptr;
    std::size_t m_chunkFrames = 0;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
};

} // namespace

std::unique_ptr<CaptureSource> createMonitorCapture(const MonitorSource &source, SoundFormat wanted,
                                                    std::shared_ptr<CaptureBuffer> buffer) {
    return std::make_unique<MonitorCapture>(source, wanted, std::move(buffer));
}

} // namespace varnelo
