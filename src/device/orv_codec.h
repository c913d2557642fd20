/* orv_codec.h: the decoder of the "pmh" frame stream (docs/codec.md), one C99
 * header for the host and for an 8-bit microcontroller.
 *
 * No allocation, no floating point, no library: the caller owns the 1,024-byte
 * frame buffer (8 pages of 128 column bytes, bit k of a byte = row k of its
 * page) and an orvc_decoder (203 bytes on an AVR). Each call of
 * orvc_next turns the buffer, which holds the frame before, into the next
 * frame, in place, and says which pages changed.
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
 */
#ifndef ORV_CODEC_H
#define ORV_CODEC_H

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

/* Stream layout (all numbers little-endian). */
#define ORVC_MAGIC0 0x4F /* 'O' */
#define ORVC_MAGIC1 0x52 /* 'R' */
#define ORVC_MAGIC2 0x56 /* 'V' */
#define ORVC_MAGIC3 0x43 /* 'C' */
#define ORVC_VERSION 1
#define ORVC_HEADER_BYTES 16
#define ORVC_FLAG_LIGHT 0x01 /* a set bit lights a pixel (else: a set bit is dark) */
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
#define ORVC_BAD_HEADER (-2) /* not a stream of this version, or cut short */
#define ORVC_BAD_DATA (-3)   /* the frame data is damaged or cut short */

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
    orvc_offset tables[3];  /* mask, main and length tables */
    uint32_t frames;        /* frames in the stream */
    uint32_t frame;         /* the next frame's number */
    uint8_t fps;            /* the frame rate the stream was made for */
    uint8_t flags;          /* ORVC_FLAG_LIGHT */
    uint8_t bits;           /* bits not yet taken, from the top */
    uint8_t bitCount;       /* how many */
    uint8_t literal;        /* the page's last literal */
    uint8_t from[8], to[8]; /* the columns of each changed page that changed */
    uint8_t edge[32];       /* rows 6 and 7 of the page above, before this frame */
    uint8_t old[128];       /* the page being decoded, before this frame */
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
    orvc_offset at;
    uint8_t t;
    d->source = source;
    d->size = size;
    d->frame = 0;
    d->pos = 0;
    d->bitCount = 0;
    d->data = 0;
    d->frames = 0;
    if (size < ORVC_HEADER_BYTES || ORVC_READ(source, 0) != ORVC_MAGIC0 ||
        ORVC_READ(source, 1) != ORVC_MAGIC1 || ORVC_READ(source, 2) != ORVC_MAGIC2 ||
        ORVC_READ(source, 3) != ORVC_MAGIC3 || ORVC_READ(source, 4) != ORVC_VERSION) {
        return ORVC_BAD_HEADER;
    }
    d->flags = ORVC_READ(source, 5);
    d->fps = ORVC_READ(source, 6);
    if (orvc_long(d, 12) != size) return ORVC_BAD_HEADER;
    at = ORVC_HEADER_BYTES;
    for (t = 0; t < 3; ++t) {
        d->tables[t] = at;
        at = orvc_skip_table(d, at, t == 1 ? 2 : 1);
        if (at == 0) return ORVC_BAD_HEADER;
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
    for (i = 0; i < 1024; ++i) frame[i] = 0;
    d->pos = d->data;
    d->bitCount = 0;
    d->frame = 0;
}

/* The next bit, or 2 when the stream has ended. */
static inline uint8_t orvc_bit(orvc_decoder* d) {
    uint8_t b;
    if (d->bitCount == 0) {
        if (d->pos >= d->size) return 2;
        d->bits = ORVC_READ(d->source, d->pos);
        ++d->pos;
        d->bitCount = 8;
    }
    b = d->bits >> 7;
    d->bits <<= 1;
    --d->bitCount;
    return b;
}

/* `count` bits as a number, most significant first; -1 past the end. */
static inline int16_t orvc_bits(orvc_decoder* d, uint8_t count) {
    int16_t v = 0;
    while (count--) {
        uint8_t b = orvc_bit(d);
        if (b > 1) return -1;
        v = (int16_t)(v << 1 | b);
    }
    return v;
}

/* One symbol of table `t` (canonical code), or -1. */
static inline int16_t orvc_symbol(orvc_decoder* d, uint8_t t) {
    const orvc_offset counts = d->tables[t];
    const orvc_offset symbols = counts + 2 * ORVC_MAX_CODE_BITS;
    uint16_t code = 0, first = 0, index = 0;
    uint8_t len;
    for (len = 0; len < ORVC_MAX_CODE_BITS; ++len) {
        const uint8_t b = orvc_bit(d);
        uint16_t count;
        if (b > 1) return -1;
        code |= b;
        count = orvc_word(d, counts + 2 * len);
        if ((uint16_t)(code - first) < count) {
            index += code - first;
            return t == 1 ? (int16_t)orvc_word(d, symbols + 2 * (orvc_offset)index)
                          : (int16_t)ORVC_READ(d->source, symbols + index);
        }
        index += count;
        first = (uint16_t)((first + count) << 1);
        code <<= 1;
    }
    return -1;
}

/* A run length: class symbol `k`, then its extra bits; -1 when damaged. */
static inline int16_t orvc_length(orvc_decoder* d, int16_t k) {
    int16_t extra;
    if (k < 0 || k >= ORVC_LENGTH_CLASSES) return -1;
    extra = orvc_bits(d, orvc_class_extra((uint8_t)k));
    return extra < 0 ? -1 : (int16_t)(orvc_class_base((uint8_t)k) + extra);
}

/* Column `c` of page `p` of the frame before, moved by (dx, dy): each row r
 * of the result is row r - dy of column c - dx, and 0 outside the picture.
 * `c` is the column being decoded, so the old page is in d->old, the page
 * above in d->edge and the page below still in the frame buffer. */
static inline uint8_t orvc_moved(const orvc_decoder* d, const uint8_t* frame, uint8_t p, uint8_t c,
                                 int8_t dx, int8_t dy) {
    const int16_t s = (int16_t)c - dx;
    uint8_t v;
    if (s < 0 || s > 127) return 0;
    v = d->old[s];
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
        above &= 0xC0;
        v = (uint8_t)(v << dy | (p > 0 ? above >> (8 - dy) : 0));
    } else if (dy < 0) {
        const uint8_t below = p < 7 ? frame[128 * (p + 1) + s] : 0;
        v = (uint8_t)(v >> -dy | below << (8 + dy));
    }
    return v;
}

/* Decodes page `p` of the next frame in place. `aboveOld` says whether
 * d->old still holds page p - 1 of the frame before. */
static inline int orvc_page(orvc_decoder* d, uint8_t* frame, uint8_t p, uint8_t aboveOld) {
    uint8_t* page = frame + 128 * p;
    uint8_t c = 0, i;
    if (p > 0) {
        const uint8_t* a = aboveOld ? d->old : frame + 128 * (p - 1);
        for (i = 0; i < 32; ++i, a += 4) {
            d->edge[i] = (uint8_t)((a[0] >> 6) | ((a[1] >> 4) & 0x0C) | ((a[2] >> 2) & 0x30) |
                                   (a[3] & 0xC0));
        }
    }
    for (i = 0; i < 128; ++i) d->old[i] = page[i];
    d->literal = 0;
    d->from[p] = 128;
    d->to[p] = 0;
    while (c < 128) {
        const int16_t s = orvc_symbol(d, 1);
        int16_t n;
        if (s < 0) return ORVC_BAD_DATA;
        if (s == ORVC_SYM_END) return ORVC_OK;
        if (s < ORVC_SYM_SKIP || s >= ORVC_SYM_REPEAT) { /* columns from c on change */
            if (d->from[p] > c) d->from[p] = c;
        }
        if (s < 256) {
            d->to[p] = c;
            page[c++] ^= (uint8_t)s;
            d->literal = (uint8_t)s;
            continue;
        }
        if (s < ORVC_SYM_REPEAT) {
            n = orvc_length(d, s - ORVC_SYM_SKIP);
            if (n < 0 || n > 128 - c) return ORVC_BAD_DATA;
            c = (uint8_t)(c + n);
        } else if (s < ORVC_SYM_END) {
            n = orvc_length(d, s - ORVC_SYM_REPEAT);
            if (n < 0 || n > 128 - c) return ORVC_BAD_DATA;
            while (n--) page[c++] ^= d->literal;
            d->to[p] = (uint8_t)(c - 1);
        } else {
            const uint8_t v = (uint8_t)(s - ORVC_SYM_MOVE);
            const int8_t dx = (int8_t)(v % (2 * ORVC_MOVE_DX + 1)) - ORVC_MOVE_DX;
            const int8_t dy = (int8_t)(v / (2 * ORVC_MOVE_DX + 1)) - ORVC_MOVE_DY;
            if (s >= ORVC_MAIN_SYMBOLS || (dx == 0 && dy == 0)) return ORVC_BAD_DATA;
            n = orvc_length(d, orvc_symbol(d, 2));
            if (n < 0 || n > 128 - c) return ORVC_BAD_DATA;
            while (n--) {
                page[c] = orvc_moved(d, frame, p, c, dx, dy);
                ++c;
            }
            d->to[p] = (uint8_t)(c - 1);
        }
    }
    return ORVC_OK;
}

/* Turns the frame before (in `frame`) into the next frame. Returns the pages
 * that changed (bit p for page p; every bit for frame 0, which follows a
 * cleared buffer), ORVC_END after the last frame, or ORVC_BAD_DATA. Columns
 * d->from[p] to d->to[p] of a changed page hold all its changes (all 128 for
 * frame 0), so a display need only be sent those. */
static inline int orvc_next(orvc_decoder* d, uint8_t* frame) {
    int16_t mask;
    uint8_t p, last = 0xFF;
    if (d->frame >= d->frames) return ORVC_END;
    mask = orvc_symbol(d, 0);
    if (mask < 0) return ORVC_BAD_DATA;
    for (p = 0; p < 8; ++p) {
        if (!(mask >> p & 1)) continue;
        if (orvc_page(d, frame, p, last == p - 1) != ORVC_OK) return ORVC_BAD_DATA;
        last = p;
    }
    if (d->frame++ > 0) return mask;
    for (p = 0; p < 8; ++p) d->from[p] = 0, d->to[p] = 127;
    return 0xFF;
}

#ifdef __cplusplus
}
#endif

#endif /* ORV_CODEC_H */
