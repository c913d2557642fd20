/* orv_codec.h: the decoder of the "pmh" frame stream (docs/codec.md), one C99
 * header for the host and for an 8-bit microcontroller.
 *
 * No allocation, no floating point, no library: the caller owns the frame
 * buffer (d.pages pages of d.width column bytes, bit k of a byte = row k of
 * its page: 1,024 bytes at 128 x 64) and an orvc_decoder (278 bytes on an AVR
 * built for 128 x 64). Each call of orvc_next turns the buffer, which holds
 * the frame before, into the next frame, in place, and says which pages
 * changed.
 *
 * Frames of any size a stream can hold (width 8 to 256, height a multiple of
 * 8 from 8 to 128) decode unless the sketch says less: ORVC_WIDTH and
 * ORVC_PAGES, defined before this header, fix the size (orvc_open refuses a
 * stream of another), which keeps the decoder's state and its loops those of
 * that size; otherwise ORVC_MAX_WIDTH (256) and ORVC_MAX_PAGES (16) bound it.
 *
 * Input: the whole stream, read a byte at a time at an offset through
 * ORVC_READ(source, offset). By default the source is a pointer to the bytes
 * in RAM; define ORVC_PROGMEM before including this header to read them from
 * an AVR's flash (pgm_read_byte), or define ORVC_READ(source, offset) to any
 * expression giving the byte (a uint8_t) at that offset of your byte source.
 *
 *   orvc_decoder d;
 *   uint8_t frame[1024];
 *   if (orvc_open(&d, clip, sizeof clip) != ORVC_OK) ...;
 *   orvc_rewind(&d, frame);
 *   for (;;) {
 *       int changed = orvc_next(&d, frame);  // bit p set: page p changed
 *       if (changed == ORVC_END) { orvc_rewind(&d, frame); continue; }
 *       if (changed < 0) ...;  // a damaged stream
 *       ...show the pages whose bit is set...
 *   }
 *
 * orvc_next is orvc_start, then orvc_page for each changed page: a player
 * can call them itself, to send each page of the frame before while it
 * decodes the next, and orvc_start(&d, 1) loops through the stream's wrap
 * frame, which turns the last frame back into frame 0 by its changes alone.
 */
#ifndef ORV_CODEC_H
#define ORV_CODEC_H

#include <limits.h>
#include <stdint.h>

#if !defined(ORVC_READ)
#if defined(ORVC_PROGMEM)
#include <avr/pgmspace.h>
#define ORVC_READ(source, offset) pgm_read_byte((const uint8_t*)(source) + (offset))
#else
#define ORVC_READ(source, offset) (((const uint8_t*)(source))[offset])
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The frame size: fixed, or bounded. */
#if defined(ORVC_WIDTH) && defined(ORVC_PAGES)
#define ORVC_MAX_WIDTH ORVC_WIDTH
#define ORVC_MAX_PAGES ORVC_PAGES
#define ORVC_W(d) ORVC_WIDTH
#define ORVC_P(d) ORVC_PAGES
#else
#ifndef ORVC_MAX_WIDTH
#define ORVC_MAX_WIDTH 256
#endif
#ifndef ORVC_MAX_PAGES
#define ORVC_MAX_PAGES 16
#endif
#define ORVC_W(d) ((d)->width)
#define ORVC_P(d) ((d)->pages)
#endif
/* A column's number, and a set of pages (a bit each). */
#if ORVC_MAX_WIDTH > 255
typedef uint16_t orvc_column;
#else
typedef uint8_t orvc_column;
#endif
#if ORVC_MAX_PAGES > 8
typedef uint16_t orvc_pages;
#if INT_MAX < 0x10000L
#error "frames of more than 8 pages need an int of more than 16 bits"
#endif
#else
typedef uint8_t orvc_pages;
#endif

/* Stream layout (all numbers little-endian). */
#define ORVC_MAGIC0 0x4F           /* 'O' */
#define ORVC_MAGIC1 0x52           /* 'R' */
#define ORVC_MAGIC2 0x56           /* 'V' */
#define ORVC_MAGIC3 0x43           /* 'C' */
#define ORVC_VERSION 1             /* a stream of 128 x 64 frames */
#define ORVC_SIZED_VERSION 2       /* a stream of frames of another size */
#define ORVC_HEADER_BYTES 16       /* version 1's header; version 2 adds: */
#define ORVC_SIZED_HEADER_BYTES 20 /* width (2 bytes), height, a 0 */
#define ORVC_FLAG_LIGHT 0x01       /* a set bit lights a pixel (else: a set bit is dark) */
#define ORVC_FLAG_WRAP 0x02        /* a wrap frame follows the last: it brings frame 0 back */
#define ORVC_FLAGS (ORVC_FLAG_LIGHT | ORVC_FLAG_WRAP) /* every flag this version knows */
#define ORVC_MAX_CODE_BITS 15

/* Symbols of the main table. */
#define ORVC_SYM_SKIP 256   /* 256..269: that many columns unchanged (length class) */
#define ORVC_SYM_REPEAT 270 /* 270..283: the last literal again, on that many columns */
#define ORVC_SYM_END 284    /* the rest of the page is unchanged */
#define ORVC_SYM_MOVE 285   /* 285..329: a move vector, then a length from the length table */
#define ORVC_MAIN_SYMBOLS 330
#define ORVC_LENGTH_CLASSES 14
#define ORVC_MOVE_DX 4 /* moves reach 4 columns left or right */
#define ORVC_MOVE_DY 2 /* and 2 rows up or down */

/* Results. */
#define ORVC_OK 0
#define ORVC_END (-1)        /* every frame was given; orvc_rewind starts again */
#define ORVC_BAD_HEADER (-2) /* not a stream of these versions or this size, or cut short */
#define ORVC_BAD_DATA (-3)   /* the frame data is damaged or cut short */

#if defined(__GNUC__)
#define ORVC_ALWAYS_INLINE static inline __attribute__((always_inline))
#else
#define ORVC_ALWAYS_INLINE static inline
#endif

/* Offsets into the stream: 16 bits reach all of an ATmega328P's flash and
 * cost less there; define ORVC_OFFSET to choose. */
#if defined(ORVC_OFFSET)
typedef ORVC_OFFSET orvc_offset;
#elif defined(ORVC_PROGMEM)
typedef uint16_t orvc_offset;
#else
typedef uint32_t orvc_offset;
#endif

typedef struct {
    const void* source;
    orvc_offset size;       /* bytes of the stream */
    orvc_offset pos;        /* the next byte to read */
    orvc_offset data;       /* where frame 0 begins */
    orvc_offset resume;     /* where frame 1 begins, once frame 0 was decoded */
    orvc_offset counts[3];  /* each table's count of its shortest codes */
    orvc_offset symbols[3]; /* and its symbols */
    uint32_t frames;        /* frames in the stream */
    uint32_t frame;         /* the next frame's number; frames + 1 after the wrap frame */
    uint16_t width;         /* the frames' columns */
    uint8_t pages;          /* and pages of 8 rows */
    uint8_t lead[3];        /* each table's shortest code length, less 1 */
    uint8_t fps;            /* the frame rate the stream was made for */
    uint8_t flags;          /* ORVC_FLAG_LIGHT, ORVC_FLAG_WRAP */
    uint8_t bits;           /* bits not yet taken, from the top, then a set bit */
    uint8_t resumeBits;     /* and those where frame 1 begins */
    orvc_pages mask;        /* the pages of the frame being decoded */
    uint8_t edgeFor;        /* the page whose rows above are in edge (pages: none) */
    /* The columns of each changed page that changed. */
    orvc_column from[ORVC_MAX_PAGES], to[ORVC_MAX_PAGES];
    /* The main table, from its shortest codes on: the first code too long for
     * each length, and what added to a code of that length gives its place. */
    uint16_t limit[ORVC_MAX_CODE_BITS], base[ORVC_MAX_CODE_BITS];
    uint8_t edge[(ORVC_MAX_WIDTH + 3) / 4]; /* rows 6 and 7 of the page above, before this frame */
    uint8_t old[ORVC_MAX_WIDTH];            /* the page being decoded, before this frame */
} orvc_decoder;

/* Length classes of runs: 1, 2, 3, 4, then 5-6, 7-8, 9-12, 13-16, 17-24, 25-32,
 * 33-48, 49-64, 65-96, 97-128: a first length and some extra bits. */
static inline uint8_t orvc_class_extra(uint8_t k) { return k < 4 ? 0 : (uint8_t)((k - 2) >> 1); }

static inline uint8_t orvc_class_base(uint8_t k) {
    return k < 4 ? (uint8_t)(k + 1) : (uint8_t)(((k & 1 ? 3u : 2u) << orvc_class_extra(k)) + 1);
}

static inline uint16_t orvc_word(const orvc_decoder* d, orvc_offset at) {
    return (uint16_t)(ORVC_READ(d->source, at) | (uint16_t)ORVC_READ(d->source, at + 1) << 8);
}

static inline uint32_t orvc_long(const orvc_decoder* d, orvc_offset at) {
    return (uint32_t)orvc_word(d, at) | (uint32_t)orvc_word(d, at + 2) << 16;
}

/* Skips a table (15 counts, then the symbols, `width` bytes each); 0 when it
 * does not fit in the stream. */
static inline orvc_offset orvc_skip_table(const orvc_decoder* d, orvc_offset at, uint8_t width) {
    uint32_t n = 0;
    uint8_t i;
    if (at + 2 * ORVC_MAX_CODE_BITS > d->size) return 0;
    for (i = 0; i < ORVC_MAX_CODE_BITS; ++i) n += orvc_word(d, at + 2 * i);
    at += 2 * ORVC_MAX_CODE_BITS;
    if (n > d->size - at || n * width > d->size - at) return 0;
    return at + n * width;
}

/* Reads the header and the tables of a stream of `size` bytes at `source`. */
static inline int orvc_open(orvc_decoder* d, const void* source, orvc_offset size) {
    orvc_offset at = ORVC_HEADER_BYTES;
    uint8_t t, version;
    uint16_t height = 64;
    d->source = source;
    d->size = size;
    d->frame = 0;
    d->pos = 0;
    d->bits = 0x80;
    d->data = 0;
    d->frames = 0;
    d->width = 128;
    if (size < ORVC_HEADER_BYTES || ORVC_READ(source, 0) != ORVC_MAGIC0 ||
        ORVC_READ(source, 1) != ORVC_MAGIC1 || ORVC_READ(source, 2) != ORVC_MAGIC2 ||
        ORVC_READ(source, 3) != ORVC_MAGIC3) {
        return ORVC_BAD_HEADER;
    }
    version = ORVC_READ(source, 4);
    if (version == ORVC_SIZED_VERSION) {
        if (size < ORVC_SIZED_HEADER_BYTES) return ORVC_BAD_HEADER;
        at = ORVC_SIZED_HEADER_BYTES;
        d->width = orvc_word(d, 16);
        height = ORVC_READ(source, 18);
    } else if (version != ORVC_VERSION) {
        return ORVC_BAD_HEADER;
    }
    d->pages = (uint8_t)(height >> 3);
    if (d->width < 8 || d->width > ORVC_MAX_WIDTH || (height & 7) || d->pages < 1 ||
        d->pages > ORVC_MAX_PAGES || ORVC_W(d) != d->width || ORVC_P(d) != d->pages) {
        return ORVC_BAD_HEADER;
    }
    d->flags = ORVC_READ(source, 5);
    d->fps = ORVC_READ(source, 6);
    if (orvc_long(d, 12) != size) return ORVC_BAD_HEADER;
    for (t = 0; t < 3; ++t) {
        const orvc_offset next = orvc_skip_table(d, at, t == 1 ? 2 : 1);
        uint8_t lead = 0;
        if (next == 0) return ORVC_BAD_HEADER;
        /* No code is shorter than the first length with a count: its bits
         * but the last need no look at the counts. */
        while (lead < ORVC_MAX_CODE_BITS - 1 && orvc_word(d, at + 2 * lead) == 0) ++lead;
        d->lead[t] = lead;
        d->counts[t] = at + 2 * lead;
        d->symbols[t] = at + 2 * ORVC_MAX_CODE_BITS;
        at = next;
    }
    {
        uint16_t first = 0, index = 0;
        uint8_t l;
        for (l = 0; l < ORVC_MAX_CODE_BITS - d->lead[1]; ++l) {
            const uint16_t count = orvc_word(d, d->counts[1] + 2 * l);
            d->limit[l] = (uint16_t)(first + count);
            d->base[l] = (uint16_t)(index - first);
            index = (uint16_t)(index + count);
            first = (uint16_t)((first + count) << 1);
        }
    }
    d->frames = orvc_long(d, 8);
    d->data = at;
    d->pos = at;
    return ORVC_OK;
}

/* Starts again at frame 0: the frame buffer is cleared, as the encoder's
 * frame before frame 0 was. */
static inline void orvc_rewind(orvc_decoder* d, uint8_t* frame) {
    uint16_t i;
    for (i = 0; i < (uint16_t)(ORVC_W(d) * ORVC_P(d)); ++i) frame[i] = 0;
    d->pos = d->data;
    d->bits = 0x80;
    d->frame = 0;
}

/* Takes the next bit into the low end of *v; 0 when the stream has ended.
 * `bits` holds the bits not yet taken from the top down, then a set bit: 0x80
 * is none left. Always inlined, so that both stay in registers. */
ORVC_ALWAYS_INLINE uint8_t orvc_take(orvc_decoder* d, uint8_t* bits, uint16_t* v) {
    uint8_t b = *bits;
    if (b == 0x80) {
        if (d->pos >= d->size) return 0;
        b = ORVC_READ(d->source, d->pos);
        ++d->pos;
        *bits = (uint8_t)(b << 1 | 1);
    } else {
        *bits = (uint8_t)(b << 1);
    }
    *v = (uint16_t)(*v << 1);
    if (b & 0x80) ++*v;
    return 1;
}

/* `count` bits as a number, most significant first; -1 past the end. */
static inline int16_t orvc_bits(orvc_decoder* d, uint8_t count) {
    uint16_t v = 0;
    uint8_t bits = d->bits;
    while (count--) {
        if (!orvc_take(d, &bits, &v)) return -1;
    }
    d->bits = bits;
    return (int16_t)v;
}

/* One symbol of table `t` (canonical code), or -1. Going one bit longer, the
 * code less the first code of its length is doubled, less that length's
 * count, and the new bit added: it names a symbol of that length when below
 * its count. */
static inline int16_t orvc_symbol(orvc_decoder* d, uint8_t t) {
    orvc_offset at = d->counts[t];
    uint16_t v = 0, index = 0;
    uint8_t bits = d->bits, lead = d->lead[t], left = (uint8_t)(ORVC_MAX_CODE_BITS - lead);
    for (;;) {
        uint16_t count;
        if (!orvc_take(d, &bits, &v)) return -1;
        if (lead) {
            --lead;
            continue;
        }
        count = orvc_word(d, at);
        if (v < count) break;
        if (--left == 0) return -1;
        v = (uint16_t)(v - count);
        index = (uint16_t)(index + count);
        at += 2;
    }
    d->bits = bits;
    index = (uint16_t)(index + v);
    return t == 1 ? (int16_t)orvc_word(d, d->symbols[1] + 2 * (orvc_offset)index)
                  : (int16_t)ORVC_READ(d->source, d->symbols[t] + index);
}

/* One symbol of the main table, as orvc_symbol gives it, from its limits in
 * RAM: the code grows a bit at a time until it is below its length's limit.
 * `bits` as in orvc_take, kept by the caller. */
ORVC_ALWAYS_INLINE int16_t orvc_main(orvc_decoder* d, uint8_t* bits) {
    const uint16_t* limit = d->limit;
    uint16_t code = 0;
    uint8_t lead = d->lead[1], left = (uint8_t)(ORVC_MAX_CODE_BITS - lead);
    while (lead--) {
        if (!orvc_take(d, bits, &code)) return -1;
    }
    for (;;) {
        if (!orvc_take(d, bits, &code)) return -1;
        if (code < *limit) break;
        ++limit;
        if (--left == 0) return -1;
    }
    code = (uint16_t)(code + d->base[limit - d->limit]);
    return (int16_t)orvc_word(d, d->symbols[1] + 2 * (orvc_offset)code);
}

/* A run length: class symbol `k`, then its extra bits; -1 when damaged. */
static inline int16_t orvc_length(orvc_decoder* d, int16_t k) {
    int16_t extra;
    if (k < 0 || k >= ORVC_LENGTH_CLASSES) return -1;
    extra = orvc_bits(d, orvc_class_extra((uint8_t)k));
    return extra < 0 ? -1 : (int16_t)(orvc_class_base((uint8_t)k) + extra);
}

/* Rows 6 and 7 of `page`, four columns a byte, into d->edge. */
static inline void orvc_edge(orvc_decoder* d, const uint8_t* page) {
    orvc_column i;
    for (i = 0; i < ORVC_W(d) / 4; ++i, page += 4) {
        d->edge[i] = (uint8_t)((page[0] >> 6) | ((page[1] >> 4) & 0x0C) | ((page[2] >> 2) & 0x30) |
                               (page[3] & 0xC0));
    }
    if (ORVC_W(d) & 3) { /* the last columns, without reading past them */
        uint8_t e = 0, k;
        for (k = 0; k < (ORVC_W(d) & 3); ++k) e = (uint8_t)(e | (page[k] >> 6) << (2 * k));
        d->edge[i] = e;
    }
}

/* Column `c` of page `p` of the frame before, moved by (dx, dy): each row r
 * of the result is row r - dy of column c - dx, and 0 outside the picture.
 * `c` is the column being decoded, so the old page is in `old`, the page
 * above in d->edge and the page below still in the frame buffer. */
static inline uint8_t orvc_moved(const orvc_decoder* d, const uint8_t* frame, const uint8_t* old,
                                 uint8_t p, orvc_column c, int8_t dx, int8_t dy) {
    const int16_t s = (int16_t)c - dx;
    uint8_t v;
    if (s < 0 || s >= ORVC_W(d)) return 0;
    v = old[s];
    if (dy > 0) {
        uint8_t above = d->edge[s >> 2];
        switch (s & 3) {
            case 0:
                above = (uint8_t)(above << 6);
                break;
            case 1:
                above = (uint8_t)(above << 4);
                break;
            case 2:
                above = (uint8_t)(above << 2);
                break;
            default:
                break;
        }
        if (p == 0) above = 0;
        /* Shifts by constants: an AVR has no barrel shifter. */
        v = dy == 1 ? (uint8_t)(v << 1 | above >> 7) : (uint8_t)(v << 2 | (above & 0xC0) >> 6);
    } else if (dy < 0) {
        const uint8_t below = p + 1 < ORVC_P(d) ? frame[ORVC_W(d) * (p + 1) + s] : 0;
        v = dy == -1 ? (uint8_t)(v >> 1 | below << 7) : (uint8_t)(v >> 2 | below << 6);
    }
    return v;
}

/* Starts the next frame: returns the pages it changes (bit p for page p),
 * each then decoded by orvc_page in page order; or ORVC_END after the last
 * frame, or ORVC_BAD_DATA. With `loop` set, a stream with a wrap frame goes
 * on past the last frame with it: it turns the last frame into frame 0, and
 * frame 1 follows. A frame of more than 8 pages has a second page mask, for
 * pages 8 and on. */
static inline int orvc_start(orvc_decoder* d, uint8_t loop) {
    int16_t mask;
    orvc_pages all;
    if (d->frame > d->frames) { /* the wrap frame was decoded: frame 0 is back */
        d->pos = d->resume;
        d->bits = d->resumeBits;
        d->frame = 1;
    }
    if (d->frame == 1) {
        d->resume = d->pos;
        d->resumeBits = d->bits;
    }
    if (d->frame >= d->frames && !(loop && (d->flags & ORVC_FLAG_WRAP) && d->frames > 0)) {
        return ORVC_END;
    }
    mask = orvc_symbol(d, 0);
    if (mask < 0) return ORVC_BAD_DATA;
    all = (orvc_pages)mask;
#if ORVC_MAX_PAGES > 8
    if (ORVC_P(d) > 8) {
        mask = orvc_symbol(d, 0);
        if (mask < 0) return ORVC_BAD_DATA;
        all = (orvc_pages)(all | (orvc_pages)mask << 8);
    }
#endif
    if (ORVC_P(d) < 8 * sizeof(orvc_pages) && (all >> ORVC_P(d)) != 0) return ORVC_BAD_DATA;
    ++d->frame;
    d->mask = all;
    d->edgeFor = ORVC_P(d);
    return (int)all;
}

/* Decodes page `p` of the frame started, in place: one of its pages, after
 * those before it. `old` holds the page as it is before this frame, copied
 * there by the caller (the page's columns, left as they are until this
 * returns), or is 0 to have the page copied into d->old. */
static inline int orvc_page(orvc_decoder* d, uint8_t* frame, uint8_t p, const uint8_t* old) {
    uint8_t* page = frame + ORVC_W(d) * p;
    orvc_column c = 0, i, from = ORVC_W(d), to = 0;
    uint8_t literal = 0;
    if (p > 0 && d->edgeFor != p) orvc_edge(d, page - ORVC_W(d)); /* the page above is as it was */
    if (!old) {
        for (i = 0; i < ORVC_W(d); ++i) d->old[i] = page[i];
        old = d->old;
    }
    while (c < ORVC_W(d)) {
        uint8_t bits = d->bits;
        const int16_t s = orvc_main(d, &bits);
        int16_t n;
        d->bits = bits;
        if (s < 0) return ORVC_BAD_DATA;
        if (s == ORVC_SYM_END) break;
        if (s < 256) {
            if (from > c) from = c;
            to = c;
            page[c++] ^= (uint8_t)s;
            literal = (uint8_t)s;
            continue;
        }
        if (s < ORVC_SYM_REPEAT) {
            n = orvc_length(d, s - ORVC_SYM_SKIP);
            if (n < 0 || n > ORVC_W(d) - c) return ORVC_BAD_DATA;
            c = (orvc_column)(c + n);
            continue;
        }
        if (from > c) from = c;
        if (s < ORVC_SYM_END) {
            n = orvc_length(d, s - ORVC_SYM_REPEAT);
            if (n < 0 || n > ORVC_W(d) - c) return ORVC_BAD_DATA;
            while (n--) page[c++] ^= literal;
        } else {
            const uint8_t v = (uint8_t)(s - ORVC_SYM_MOVE);
            const int8_t dx = (int8_t)(v % (2 * ORVC_MOVE_DX + 1)) - ORVC_MOVE_DX;
            const int8_t dy = (int8_t)(v / (2 * ORVC_MOVE_DX + 1)) - ORVC_MOVE_DY;
            if (s >= ORVC_MAIN_SYMBOLS || (dx == 0 && dy == 0)) return ORVC_BAD_DATA;
            n = orvc_length(d, orvc_symbol(d, 2));
            if (n < 0 || n > ORVC_W(d) - c) return ORVC_BAD_DATA;
            while (n--) {
                page[c] = orvc_moved(d, frame, old, p, c, dx, dy);
                ++c;
            }
        }
        to = (orvc_column)(c - 1);
    }
    d->from[p] = from;
    d->to[p] = to;
    /* The next page's rows above are this page's as it was. */
    if (p + 1 < ORVC_P(d) && (d->mask >> (p + 1) & 1)) {
        orvc_edge(d, old);
        d->edgeFor = (uint8_t)(p + 1);
    }
    return ORVC_OK;
}

/* Turns the frame before (in `frame`) into the next frame. Returns the pages
 * that changed (bit p for page p; every bit for frame 0, which follows a
 * cleared buffer), ORVC_END after the last frame, or ORVC_BAD_DATA. Columns
 * d->from[p] to d->to[p] of a changed page hold all its changes (all of them
 * for frame 0), so a display need only be sent those. */
static inline int orvc_next(orvc_decoder* d, uint8_t* frame) {
    const uint8_t first = d->frame == 0;
    const int mask = orvc_start(d, 0);
    uint8_t p;
    if (mask < 0) return mask;
    for (p = 0; p < ORVC_P(d); ++p) {
        if ((mask >> p & 1) && orvc_page(d, frame, p, 0) != ORVC_OK) return ORVC_BAD_DATA;
    }
    if (!first) return mask;
    for (p = 0; p < ORVC_P(d); ++p) d->from[p] = 0, d->to[p] = (orvc_column)(ORVC_W(d) - 1);
    return (int)((1L << ORVC_P(d)) - 1);
}

#ifdef __cplusplus
}
#endif

#endif /* ORV_CODEC_H */
