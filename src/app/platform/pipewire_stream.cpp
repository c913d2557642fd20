#include "app/platform/pipewire_stream.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include <QtEndian>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace orv::platform {

namespace {

// PipeWire's global set-up, once per process before any other call.
void initPipeWire() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

// The byte order of a raw video format; bytes 0 for a format not read here.
PixelOrder orderOf(uint32_t format) {
    switch (format) {
        case SPA_VIDEO_FORMAT_BGRx:
        case SPA_VIDEO_FORMAT_BGRA:
            return {4, 2, 1, 0};
        case SPA_VIDEO_FORMAT_RGBx:
        case SPA_VIDEO_FORMAT_RGBA:
            return {4, 0, 1, 2};
        case SPA_VIDEO_FORMAT_xRGB:
        case SPA_VIDEO_FORMAT_ARGB:
            return {4, 1, 2, 3};
        case SPA_VIDEO_FORMAT_xBGR:
        case SPA_VIDEO_FORMAT_ABGR:
            return {4, 3, 2, 1};
        case SPA_VIDEO_FORMAT_RGB:
            return {3, 0, 1, 2};
        case SPA_VIDEO_FORMAT_BGR:
            return {3, 2, 1, 0};
        default:
            return {0, 0, 0, 0};
    }
}

// Whether a source pixel is laid out as Format_RGB32 is in memory.
bool sameAsRgb32(PixelOrder order) {
    return Q_BYTE_ORDER == Q_LITTLE_ENDIAN && order.bytes == 4 && order.red == 2 &&
           order.green == 1 && order.blue == 0;
}

}  // namespace

void copyPixels(const uchar* source, qsizetype stride, QSize size, PixelOrder order, QImage& out) {
    if (out.size() != size || out.format() != QImage::Format_RGB32 || !out.isDetached()) {
        out = QImage(size, QImage::Format_RGB32);
        if (out.isNull()) return;
    }
    const int width = size.width();
    for (int y = 0; y < size.height(); ++y) {
        const uchar* in = source + y * stride;
        auto* line = reinterpret_cast<quint32*>(out.scanLine(y));
        if (sameAsRgb32(order)) {
            std::memcpy(line, in, std::size_t(width) * 4);
            for (int x = 0; x < width; ++x) line[x] |= 0xFF000000u;
            continue;
        }
        for (int x = 0; x < width; ++x, in += order.bytes) {
            line[x] = 0xFF000000u | quint32(in[order.red]) << 16 | quint32(in[order.green]) << 8 |
                      quint32(in[order.blue]);
        }
    }
}

struct PipeWireStream::Impl {
    Events events;                    // where the stream reports
    pw_thread_loop* loop = nullptr;   // the stream's thread
    pw_context* context = nullptr;    // PipeWire's state for the thread
    pw_core* core = nullptr;          // the connection the portal handed over
    pw_stream* stream = nullptr;      // the video stream
    pw_registry* registry = nullptr;  // tells when the cast's node goes
    quint32 node = 0;                 // the cast's node
    spa_hook coreListener{};          // core errors
    spa_hook registryListener{};      // nodes going
    spa_hook streamListener{};        // stream state, format and buffers
    bool connected = false;           // the stream was connected once
    bool reported = false;            // a failure has been told

    // The stream thread's own.
    QSize formatSize;     // the negotiated picture size
    PixelOrder order{0};  // the negotiated byte order; bytes 0 before that
    QImage back;          // the picture being filled

    // Shared with readers.
    mutable std::mutex mutex;           // guards front
    QImage front;                       // the newest whole picture
    std::atomic<quint64> frameCount{};  // pictures taken in

    void fail(const QString& reason) {
        if (reported) return;
        reported = true;
        if (events.failed) events.failed(reason);
    }

    void formatChanged(const spa_pod* param);
    void take(spa_buffer* buffer);

    // PipeWire's callbacks, on the stream's thread; `data` is the Impl.
    static void onCoreError(void* data, uint32_t id, int seq, int res, const char* message);
    static void onStateChanged(void* data, pw_stream_state old, pw_stream_state state,
                               const char* error);
    static void onParamChanged(void* data, uint32_t id, const spa_pod* param);
    static void onProcess(void* data);
    static void onGlobalRemoved(void* data, uint32_t id);
};

void PipeWireStream::Impl::onCoreError(void* data, uint32_t id, int /*seq*/, int res,
                                       const char* message) {
    if (id != PW_ID_CORE) return;
    auto* impl = static_cast<Impl*>(data);
    impl->fail(QStringLiteral("PipeWire connection failed: %1 (%2)")
                   .arg(QString::fromUtf8(message ? message : "no reason given"),
                        QString::fromUtf8(std::strerror(-res))));
}

void PipeWireStream::Impl::onStateChanged(void* data, pw_stream_state /*old*/,
                                          pw_stream_state state, const char* error) {
    auto* impl = static_cast<Impl*>(data);
    if (state == PW_STREAM_STATE_ERROR) {
        impl->fail(QStringLiteral("the screen cast's PipeWire stream failed: %1")
                       .arg(QString::fromUtf8(error ? error : "no reason given")));
    } else if (state == PW_STREAM_STATE_UNCONNECTED && impl->connected) {
        impl->fail(QStringLiteral("the screen cast's PipeWire stream ended"));
    } else if (state != PW_STREAM_STATE_UNCONNECTED) {
        impl->connected = true;
    }
}

void PipeWireStream::Impl::onParamChanged(void* data, uint32_t id, const spa_pod* param) {
    if (id == SPA_PARAM_Format && param) static_cast<Impl*>(data)->formatChanged(param);
}

void PipeWireStream::Impl::onGlobalRemoved(void* data, uint32_t id) {
    auto* impl = static_cast<Impl*>(data);
    // The stream itself only pauses when its source goes.
    if (id == impl->node) impl->fail(QStringLiteral("the screen cast's source went away"));
}

void PipeWireStream::Impl::onProcess(void* data) {
    auto* impl = static_cast<Impl*>(data);
    // Only the newest waiting buffer counts; older ones go straight back.
    pw_buffer* newest = nullptr;
    while (pw_buffer* next = pw_stream_dequeue_buffer(impl->stream)) {
        if (newest) pw_stream_queue_buffer(impl->stream, newest);
        newest = next;
    }
    if (!newest) return;
    impl->take(newest->buffer);
    pw_stream_queue_buffer(impl->stream, newest);
}

namespace {

// The formats asked for: 8-bit RGB in any byte order, any size and rate.
const spa_pod* formatOffer(spa_pod_builder* b) {
    spa_rectangle sizeDefault{1280, 720};
    spa_rectangle sizeMin{1, 1};
    spa_rectangle sizeMax{16384, 16384};
    spa_fraction rateDefault{30, 1};
    spa_fraction rateMin{0, 1};
    spa_fraction rateMax{1000, 1};
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(11, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                               SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA,
                               SPA_VIDEO_FORMAT_xRGB, SPA_VIDEO_FORMAT_ARGB, SPA_VIDEO_FORMAT_xBGR,
                               SPA_VIDEO_FORMAT_ABGR, SPA_VIDEO_FORMAT_RGB, SPA_VIDEO_FORMAT_BGR),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&sizeDefault, &sizeMin, &sizeMax),
        SPA_FORMAT_VIDEO_framerate,
        SPA_POD_CHOICE_RANGE_Fraction(&rateDefault, &rateMin, &rateMax)));
}

}  // namespace

void PipeWireStream::Impl::formatChanged(const spa_pod* param) {
    spa_video_info_raw info{};
    uint32_t mediaType = 0;
    uint32_t mediaSubtype = 0;
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
        mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw ||
        spa_format_video_raw_parse(param, &info) < 0) {
        fail(QStringLiteral("the screen cast offers no raw video"));
        return;
    }
    order = orderOf(info.format);
    formatSize = QSize(int(info.size.width), int(info.size.height));
    if (order.bytes == 0 || formatSize.isEmpty()) {
        fail(QStringLiteral("the screen cast offers no RGB picture this tool reads (format %1)")
                 .arg(info.format));
        return;
    }
    // Pictures in plain or shared memory (no GPU buffers), with the header's
    // flags and the crop rectangle alongside.
    uint8_t memory[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(memory, sizeof(memory));
    const spa_pod* params[3];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(4, 2, 16), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
        SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
        SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
    params[2] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
        SPA_POD_Id(SPA_META_VideoCrop), SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_region))));
    pw_stream_update_params(stream, params, 3);
    if (events.formatAgreed) events.formatAgreed();
}

void PipeWireStream::Impl::take(spa_buffer* buffer) {
    if (order.bytes == 0 || buffer->n_datas < 1) return;
    const auto* header = static_cast<const spa_meta_header*>(
        spa_buffer_find_meta_data(buffer, SPA_META_Header, sizeof(spa_meta_header)));
    if (header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED)) return;
    const spa_data& data = buffer->datas[0];
    if (!data.data || !data.chunk || data.chunk->size == 0 ||
        (data.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED))
        return;
    if (data.type != SPA_DATA_MemPtr && data.type != SPA_DATA_MemFd) return;

    // The part of the picture to show: the crop rectangle where there is one.
    QRect part(QPoint(0, 0), formatSize);
    const auto* crop = static_cast<const spa_meta_region*>(
        spa_buffer_find_meta_data(buffer, SPA_META_VideoCrop, sizeof(spa_meta_region)));
    if (crop && spa_meta_region_is_valid(crop)) {
        part &= QRect(crop->region.position.x, crop->region.position.y,
                      int(crop->region.size.width), int(crop->region.size.height));
        if (part.isEmpty()) return;
    }
    const qsizetype stride =
        data.chunk->stride > 0 ? data.chunk->stride : qsizetype(formatSize.width()) * order.bytes;
    const qsizetype start =
        qsizetype(data.chunk->offset) + part.y() * stride + qsizetype(part.x()) * order.bytes;
    const qsizetype end =
        start + (part.height() - 1) * stride + qsizetype(part.width()) * order.bytes;
    if (end > qsizetype(data.maxsize)) return;  // a picture that does not fit its buffer

    copyPixels(static_cast<const uchar*>(data.data) + start, stride, part.size(), order, back);
    if (back.isNull()) return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        front.swap(back);
    }
    if (frameCount.fetch_add(1) == 0 && events.firstFrame) events.firstFrame();
}

PipeWireStream::PipeWireStream(Events events) : impl_(std::make_unique<Impl>()) {
    impl_->events = std::move(events);
}

PipeWireStream::~PipeWireStream() {
    Impl& s = *impl_;
    if (s.loop) {
        pw_thread_loop_lock(s.loop);
        if (s.stream) {
            spa_hook_remove(&s.streamListener);
            pw_stream_disconnect(s.stream);
            pw_stream_destroy(s.stream);
        }
        if (s.registry) {
            spa_hook_remove(&s.registryListener);
            pw_proxy_destroy(reinterpret_cast<pw_proxy*>(s.registry));
        }
        if (s.core) {
            spa_hook_remove(&s.coreListener);
            pw_core_disconnect(s.core);
        }
        pw_thread_loop_unlock(s.loop);
        pw_thread_loop_stop(s.loop);
    }
    if (s.context) pw_context_destroy(s.context);
    if (s.loop) pw_thread_loop_destroy(s.loop);
}

Status PipeWireStream::start(int fd, quint32 node) {
    static const pw_core_events coreEvents = [] {
        pw_core_events events{};
        events.version = PW_VERSION_CORE_EVENTS;
        events.error = Impl::onCoreError;
        return events;
    }();
    static const pw_stream_events streamEvents = [] {
        pw_stream_events events{};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.state_changed = Impl::onStateChanged;
        events.param_changed = Impl::onParamChanged;
        events.process = Impl::onProcess;
        return events;
    }();
    static const pw_registry_events registryEvents = [] {
        pw_registry_events events{};
        events.version = PW_VERSION_REGISTRY_EVENTS;
        events.global_remove = Impl::onGlobalRemoved;
        return events;
    }();
    Impl& s = *impl_;
    initPipeWire();
    s.loop = pw_thread_loop_new("orv-screencast", nullptr);
    s.context = s.loop ? pw_context_new(pw_thread_loop_get_loop(s.loop), nullptr, 0) : nullptr;
    if (!s.context || pw_thread_loop_start(s.loop) < 0) {
        ::close(fd);
        return fail("PipeWire could not start a thread for the screen cast");
    }
    pw_thread_loop_lock(s.loop);
    s.core = pw_context_connect_fd(s.context, fd, nullptr, 0);
    if (!s.core) {
        const int reason = errno;
        pw_thread_loop_unlock(s.loop);
        return fail(std::string("could not connect to PipeWire through the portal: ") +
                    std::strerror(reason));
    }
    pw_core_add_listener(s.core, &s.coreListener, &coreEvents, &s);
    s.node = node;
    s.registry = pw_core_get_registry(s.core, PW_VERSION_REGISTRY, 0);
    if (s.registry) pw_registry_add_listener(s.registry, &s.registryListener, &registryEvents, &s);
    s.stream = pw_stream_new(s.core, "orv-tool screen",
                             pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                               "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    int result = -ENOMEM;
    if (s.stream) {
        pw_stream_add_listener(s.stream, &s.streamListener, &streamEvents, &s);
        uint8_t memory[1024];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(memory, sizeof(memory));
        const spa_pod* params[1] = {formatOffer(&b)};
        result = pw_stream_connect(
            s.stream, PW_DIRECTION_INPUT, node,
            static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
            params, 1);
    }
    pw_thread_loop_unlock(s.loop);
    if (result < 0) {
        return fail("could not open the screen cast's PipeWire stream (node " +
                    std::to_string(node) + "): " + std::strerror(-result));
    }
    return Done{};
}

QImage PipeWireStream::latest() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->front;
}

quint64 PipeWireStream::frames() const { return impl_->frameCount.load(); }

QSize PipeWireStream::size() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->front.size();
}

}  // namespace orv::platform
