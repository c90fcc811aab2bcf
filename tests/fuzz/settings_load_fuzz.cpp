// The settings file's parse and format over arbitrary file contents.
//
// The input is parsed as the loader parses a file's bytes, in memory (reading the file is the
// platform's and adds nothing to fuzz but a system call per input). The parse succeeds exactly
// when the bytes have six lines (the last may lack its LF); on success the model and the port come
// from lines 1 and 2 as the rules read them, and no text holds a line end or a NUL. What a parse
// gives, a save formats and a second parse reads back; from then on format and parse are a fixed
// point, byte for byte.
#include <QByteArray>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "dialog/settings_file.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using namespace karvex;

// Line `index` (0-based) as the rules cut it: up to its LF, without the LF and a CR before it,
// up to a NUL. Empty when the file has fewer lines.
QByteArray LineOf(const QByteArray& bytes, int index, int* count) {
    QByteArray want;
    int n = 0;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype lf = bytes.indexOf('\n', start);
        const qsizetype end = lf < 0 ? bytes.size() : lf;
        if (n == index) want = bytes.mid(start, end - start);
        ++n;
        start = end + 1;
    }
    *count = n;
    if (want.endsWith('\r')) want.chop(1);
    const qsizetype nul = want.indexOf('\0');
    return nul < 0 ? want : want.left(nul);
}

bool HoldsLineEndOrNul(const std::string& text) {
    return text.find_first_of(std::string_view("\n\0", 2)) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const QByteArray bytes(input.data(), static_cast<qsizetype>(size));

    Settings loaded;
    loaded.apn = "untouched";
    const int result = ParseSettings(input, loaded);
    int lines = 0;
    const QByteArray portLine = LineOf(bytes, 1, &lines);
    FUZZ_CHECK(result == 0 || result == kSettingsTooShort, "0, or too short");
    FUZZ_CHECK((result == 0) == (lines >= 6), "parses exactly when the bytes have six lines");
    if (result != 0) {
        FUZZ_CHECK(loaded.apn == "untouched", "a failed parse changes nothing");
        return 0;
    }
    FUZZ_CHECK(loaded.tolva2 == (size > 0 && data[0] == '1'), "model from line 1's first byte");
    FUZZ_CHECK(loaded.port == std::strtol(portLine.constData(), nullptr, 10),
               "port as strtol reads line 2");
    for (const std::string* text : {&loaded.apn, &loaded.user, &loaded.password, &loaded.phone}) {
        FUZZ_CHECK(!HoldsLineEndOrNul(*text), "texts hold no LF and no NUL");
    }

    // Parse, format, parse: the second format gives the same bytes as the first.
    const std::string first = SettingsFileBytes(loaded);
    Settings again;
    FUZZ_CHECK(ParseSettings(first, again) == 0, "formatted bytes parse");
    FUZZ_CHECK(again.tolva2 == loaded.tolva2 && again.port == loaded.port,
               "model and port survive a save");
    FUZZ_CHECK(SettingsFileBytes(again) == first, "format and parse are a fixed point");
    return 0;
}
