#include "lcd/frame_layout.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "common/text.h"

namespace orv {

namespace {

bool asciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Names a generated header cannot use for its array: the keywords of C and C++
// (a sketch includes the header from C++), the macros and identifiers of the
// standard headers a sketch is likely to include (and of the Arduino core,
// which includes several of them), and the types the header relies on.
bool takenName(const std::string& name) {
    static const std::string kTaken =
        " "
        "_Alignas _Alignof _Atomic _BitInt _Bool _Complex _Decimal128 _Decimal32 "
        "_Decimal64 _Generic _Imaginary _Noreturn _Static_assert _Thread_local alignas "
        "alignof and and_eq asm auto bitand bitor bool break case catch char char16_t "
        "char32_t char8_t class co_await co_return co_yield compl concept const "
        "const_cast consteval constexpr constinit continue decltype default delete do "
        "double dynamic_cast else enum explicit export extern false float for friend "
        "goto if inline int int16_t int32_t int64_t int8_t intmax_t intptr_t long "
        "mutable namespace new noexcept not not_eq nullptr operator or or_eq private "
        "protected public PROGMEM register reinterpret_cast requires restrict return "
        "short signed sizeof static static_assert static_cast struct switch template "
        "this thread_local throw true try typedef typeid typename typeof typeof_unqual "
        "uint16_t uint32_t uint64_t uint8_t uintmax_t uintptr_t union unsigned using "
        "virtual void volatile wchar_t while xor xor_eq "
        // The standard headers' macros and identifiers.
        "NULL EOF BUFSIZ FILENAME_MAX FOPEN_MAX L_tmpnam SEEK_CUR SEEK_END SEEK_SET "
        "TMP_MAX FILE fpos_t stdin stdout stderr errno EDOM EILSEQ ERANGE assert "
        "NDEBUG offsetof size_t ptrdiff_t max_align_t nullptr_t CHAR_BIT CHAR_MAX "
        "CHAR_MIN SCHAR_MAX SCHAR_MIN UCHAR_MAX SHRT_MAX SHRT_MIN USHRT_MAX INT_MAX "
        "INT_MIN UINT_MAX LONG_MAX LONG_MIN ULONG_MAX LLONG_MAX LLONG_MIN ULLONG_MAX "
        "MB_LEN_MAX SIZE_MAX PTRDIFF_MAX PTRDIFF_MIN WCHAR_MAX WCHAR_MIN WINT_MAX "
        "WINT_MIN SIG_ATOMIC_MAX SIG_ATOMIC_MIN EXIT_SUCCESS EXIT_FAILURE RAND_MAX "
        "MB_CUR_MAX div_t ldiv_t lldiv_t va_list va_start va_arg va_end va_copy "
        "jmp_buf setjmp longjmp main abort exit atexit malloc calloc realloc free "
        "getenv system abs labs llabs div ldiv atoi atol atoll atof rand srand qsort "
        "bsearch printf fprintf sprintf snprintf scanf sscanf puts putchar getchar "
        "fopen fclose fread fwrite fgets fputs memcpy memmove memset memcmp strlen "
        "strcpy strncpy strcat strcmp strncmp strchr strstr sin cos tan sqrt pow exp "
        "log floor ceil fabs isalpha isdigit isspace tolower toupper "
        // The Arduino core's.
        "setup loop delay millis micros min max round constrain map random sq "
        "HIGH LOW INPUT OUTPUT INPUT_PULLUP LED_BUILTIN PI HALF_PI TWO_PI DEG_TO_RAD "
        "RAD_TO_DEG EULER byte word boolean bit Serial String ";
    if (kTaken.find(" " + name + " ") != std::string::npos) return true;
    // <stdint.h>'s limits and constants: INT8_MAX, UINT_LEAST16_MAX, INT32_C...
    const bool integer = name.rfind("INT", 0) == 0 || name.rfind("UINT", 0) == 0;
    return integer && (name.ends_with("_MAX") || name.ends_with("_MIN") || name.ends_with("_C"));
}

bool validIdentifier(const std::string& s) {
    if (s.empty() || (s[0] >= '0' && s[0] <= '9')) return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return asciiAlnum(c) || c == '_'; });
}

// Text that can stand inside a C block comment on one line: control
// characters become '_', and "*/", "/*" and "??" are split by a blank.
std::string commentText(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
        if (!out.empty()) {
            const char prev = out.back();
            if ((prev == '*' && c == '/') || (prev == '/' && c == '*') ||
                (prev == '?' && c == '?')) {
                out += ' ';
            }
        }
        out += c;
    }
    return out;
}

}  // namespace

Result<FrameLayout> parseFrameLayout(const std::string& text) {
    if (text == "pages") return FrameLayout::Pages;
    if (text == "rows-msb") return FrameLayout::RowsMsb;
    if (text == "rows-lsb") return FrameLayout::RowsLsb;
    return fail("unknown layout \"" + text + "\": choose pages, rows-msb or rows-lsb");
}

const char* frameLayoutName(FrameLayout layout) {
    switch (layout) {
        case FrameLayout::RowsMsb:
            return "rows-msb";
        case FrameLayout::RowsLsb:
            return "rows-lsb";
        case FrameLayout::Pages:
            break;
    }
    return "pages";
}

std::size_t layoutBytes(FrameSize size, FrameLayout layout) {
    if (layout == FrameLayout::Pages) return size.bytes();
    return static_cast<std::size_t>((size.width + 7) / 8) * size.height;
}

std::vector<std::uint8_t> toLayout(const Frame& frame, FrameLayout layout, bool lightSetBit) {
    const FrameSize size = frame.size();
    if (layout == FrameLayout::Pages) {
        std::vector<std::uint8_t> out(frame.bytes().begin(), frame.bytes().end());
        if (lightSetBit) {
            for (auto& b : out) b = static_cast<std::uint8_t>(~b);
        }
        return out;
    }
    const bool msb = layout == FrameLayout::RowsMsb;
    const int rowBytes = (size.width + 7) / 8;
    std::vector<std::uint8_t> out(layoutBytes(size, layout));
    for (int row = 0; row < size.height; ++row) {
        const std::uint8_t* page = frame.data() + size.width * (row / 8);
        const int shift = row % 8;
        for (int b = 0; b < rowBytes; ++b) {
            unsigned v = 0;
            for (int i = 0; i < 8 && 8 * b + i < size.width; ++i) {
                const unsigned dark = ((page[8 * b + i] >> shift) & 1u) ^ (lightSetBit ? 1u : 0u);
                v |= dark << (msb ? 7 - i : i);
            }
            out[static_cast<std::size_t>(rowBytes * row + b)] = static_cast<std::uint8_t>(v);
        }
    }
    return out;
}

Status usableIdentifier(const std::string& name) {
    if (!validIdentifier(name)) {
        return fail(quotedName(name) +
                    " is not a C identifier (letters, digits and _, not a digit first)");
    }
    if (name[0] == '_') return fail(quotedName(name) + ": names that begin with _ are C's own");
    if (takenName(name)) {
        return fail(quotedName(name) + " is a name that C, its library or the Arduino core uses");
    }
    return Done{};
}

std::string cIdentifier(const std::string& fileName) {
    std::string name = fileName;
    const auto slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    // Each run of other characters (the bytes of a non-ASCII one too) is one _,
    // and none is left at either end.
    std::string kept;
    for (char c : name) {
        if (asciiAlnum(c)) {
            kept += c;
        } else if (!kept.empty() && kept.back() != '_') {
            kept += '_';
        }
    }
    if (!kept.empty() && kept.back() == '_') kept.pop_back();
    if (kept.empty()) return "frames";
    return usableIdentifier(kept) ? kept : "frames_" + kept;
}

CArrayWriter::CArrayWriter(Sink sink) : sink_(std::move(sink)) {}

Status CArrayWriter::put(std::string_view text) {
    if (!sink_ || !sink_(text).ok()) {
        state_ = State::Broken;
        return fail("the C output could not be written");
    }
    return Done{};
}

Status CArrayWriter::begin(const std::string& name, std::uint64_t count,
                           const std::string& sourceName, const std::string& layoutName,
                           const std::string& polarityName, FrameSize size,
                           std::size_t frameBytes) {
    if (state_ != State::Fresh) return fail("the C output was already begun");
    if (Status usable = usableIdentifier(name); !usable) return usable;
    if (count == 0) return fail("there are no frames to write");
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(), asciiUpper);
    guard_ = upper + "_H";
    count_ = count;
    written_ = 0;
    frameBytes_ = frameBytes;
    const std::string m = upper + "_";
    std::string t;
    t += "/* Frames for a " + sizeWords(size) + " one-bit display, written by orv export.\n";
    t += " * Source:   " + commentText(sourceName) + "\n";
    t += " * Layout:   " + commentText(layoutName) + "\n";
    t += " * Polarity: " + commentText(polarityName) + "\n";
    t += " * On AVR the array is in program memory: read it with pgm_read_byte().\n";
    t += " */\n";
    t += "#ifndef " + guard_ + "\n#define " + guard_ + "\n\n";
    t += "#include <stdint.h>\n\n";
    t += "#if defined(__AVR__)\n#include <avr/pgmspace.h>\n";
    t += "#define " + m + "PROGMEM PROGMEM\n#else\n#define " + m + "PROGMEM\n#endif\n\n";
    t += "#if defined(__GNUC__)\n#define " + m + "UNUSED __attribute__((unused))\n";
    t += "#else\n#define " + m + "UNUSED\n#endif\n\n";
    t += "#define " + m + "FRAME_COUNT " + std::to_string(count) + "\n";
    t += "#define " + m + "WIDTH " + std::to_string(size.width) + "\n";
    t += "#define " + m + "HEIGHT " + std::to_string(size.height) + "\n";
    t += "#define " + m + "FRAME_BYTES " + std::to_string(frameBytes) + "\n\n";
    t += "static const uint8_t " + name + "[" + m + "FRAME_COUNT][" + m + "FRAME_BYTES] " + m +
         "PROGMEM " + m + "UNUSED = {\n";
    state_ = State::Open;
    return put(t);
}

Status CArrayWriter::frame(std::uint64_t index, std::span<const std::uint8_t> bytes) {
    if (state_ != State::Open) return fail("a frame outside begin() .. end()");
    if (bytes.size() != frameBytes_) {
        return fail("a frame of " + std::to_string(bytes.size()) + " bytes where " +
                    std::to_string(frameBytes_) + " were begun");
    }
    if (index != written_) {
        return fail("frame " + std::to_string(index) + " where frame " + std::to_string(written_) +
                    " was due");
    }
    if (written_ >= count_)
        return fail("more frames than the " + std::to_string(count_) + " begun");
    std::string t = "    /* frame " + std::to_string(index) + " */\n    {\n";
    char hex[8];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 16 == 0) t += "        ";
        std::snprintf(hex, sizeof hex, "0x%02x,", static_cast<unsigned>(bytes[i]));
        t += hex;
        t += i % 16 == 15 ? '\n' : ' ';
    }
    t += "    },\n";
    ++written_;
    return put(t);
}

Status CArrayWriter::end() {
    if (state_ != State::Open) return fail("end() without an open C output");
    if (written_ != count_) {
        return fail(std::to_string(written_) + " frames written of the " + std::to_string(count_) +
                    " begun");
    }
    state_ = State::Closed;
    return put("};\n\n#endif /* " + guard_ + " */\n");
}

}  // namespace orv
