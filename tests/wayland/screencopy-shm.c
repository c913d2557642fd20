/* Preloaded into the desktop portal's wlroots backend (xdg-desktop-portal-wlr
 * 0.7) on a compositor that renders in software. That backend starts a screen
 * cast only when wlr-screencopy announced a GPU (linux-dmabuf) buffer format,
 * which a software renderer never does, and then gives up with "unable to
 * receive a valid format from wlr_screencopy". Here each screencopy frame also
 * announces its shared-memory format as a dmabuf one just before buffer_done;
 * with no dmabuf device the backend then hands PipeWire shared-memory buffers,
 * and nothing else changes. Not needed where the compositor has a GPU.
 *
 * Build: gcc -shared -fPIC -O2 -o screencopy-shm.so screencopy-shm.c -ldl */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <string.h>

struct wl_proxy;
const char* wl_proxy_get_class(struct wl_proxy* proxy);

/* The events of zwlr_screencopy_frame_v1 (version 3), in protocol order. */
struct frame_events {
    void (*buffer)(void* data, struct wl_proxy* frame, uint32_t format, uint32_t width,
                   uint32_t height, uint32_t stride);
    void (*flags)(void* data, struct wl_proxy* frame, uint32_t flags);
    void (*ready)(void* data, struct wl_proxy* frame, uint32_t sec_hi, uint32_t sec_lo,
                  uint32_t nsec);
    void (*failed)(void* data, struct wl_proxy* frame);
    void (*damage)(void* data, struct wl_proxy* frame, uint32_t x, uint32_t y, uint32_t width,
                   uint32_t height);
    void (*linux_dmabuf)(void* data, struct wl_proxy* frame, uint32_t format, uint32_t width,
                         uint32_t height);
    void (*buffer_done)(void* data, struct wl_proxy* frame);
};

/* The backend's own handlers, the same ones with three swapped for the ones
 * below, and what the current frame announced so far. The backend handles one
 * screencopy frame at a time. */
static struct frame_events backend, wrapped;
static uint32_t shm_format, shm_width, shm_height;
static int announced_dmabuf;

/* A wl_shm format as a DRM fourcc: codes 0 and 1 are the only ones that differ. */
static uint32_t fourcc_of(uint32_t shm) {
    if (shm == 0) return 0x34325241; /* ARGB8888, 'AR24' */
    if (shm == 1) return 0x34325258; /* XRGB8888, 'XR24' */
    return shm;
}

static void on_buffer(void* data, struct wl_proxy* frame, uint32_t format, uint32_t width,
                      uint32_t height, uint32_t stride) {
    shm_format = format;
    shm_width = width;
    shm_height = height;
    announced_dmabuf = 0;
    backend.buffer(data, frame, format, width, height, stride);
}

static void on_linux_dmabuf(void* data, struct wl_proxy* frame, uint32_t format, uint32_t width,
                            uint32_t height) {
    announced_dmabuf = 1;
    backend.linux_dmabuf(data, frame, format, width, height);
}

static void on_buffer_done(void* data, struct wl_proxy* frame) {
    if (!announced_dmabuf && backend.linux_dmabuf) {
        backend.linux_dmabuf(data, frame, fourcc_of(shm_format), shm_width, shm_height);
    }
    backend.buffer_done(data, frame);
}

/* libwayland-client's own, with screencopy frames' handlers swapped for the above. */
int wl_proxy_add_listener(struct wl_proxy* proxy, void (**implementation)(void), void* data) {
    static int (*next)(struct wl_proxy*, void (**)(void), void*);
    if (!next) {
        next = (int (*)(struct wl_proxy*, void (**)(void), void*))dlsym(RTLD_NEXT,
                                                                        "wl_proxy_add_listener");
    }
    if (strcmp(wl_proxy_get_class(proxy), "zwlr_screencopy_frame_v1") == 0) {
        backend = wrapped = *(const struct frame_events*)implementation;
        wrapped.buffer = on_buffer;
        wrapped.linux_dmabuf = on_linux_dmabuf;
        wrapped.buffer_done = on_buffer_done;
        return next(proxy, (void (**)(void)) & wrapped, data);
    }
    return next(proxy, implementation, data);
}
