// The settings file loader over arbitrary file contents.
//
// The input is written to a file and loaded. The load succeeds exactly when the file has six
// lines (the last may lack its LF); on success the model and the port come from lines 1 and 2 as
// the rules read them, and no text holds a line end or a NUL. What a load gives, a save writes
// and a second load reads back; from then on save and load are a fixed point, byte for byte.
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/fuzz/fuzz_check.h"
#include "window/settings_file.h"

namespace {

using namespace karvex;

QString g_dir;

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "scratch file opens");
    FUZZ_CHECK(file.write(bytes) == bytes.size(), "scratch file written");
}

QByteArray Read(const QString& path) {
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly), "saved file opens");
    return file.readAll();
}

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

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/dev/shm/karvex-settings-fuzz-XXXXXX";
    char fallback[] = "/tmp/karvex-settings-fuzz-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (dir == nullptr) dir = mkdtemp(fallback);
    FUZZ_CHECK(dir != nullptr, "scratch directory");
    g_dir = QString::fromLocal8Bit(dir);
    // The scratch directory goes when the fuzzer ends, whichever way it ends normally.
    std::atexit([] {
        for (const char* name : {"/in.ini", "/out.ini"}) QFile::remove(g_dir + name);
        rmdir(g_dir.toLocal8Bit().constData());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString in = g_dir + "/in.ini";
    const QString out = g_dir + "/out.ini";
    Write(in, bytes);

    Settings loaded;
    loaded.apn = "untouched";
    const int result = LoadSettings(in, loaded);
    int lines = 0;
    const QByteArray portLine = LineOf(bytes, 1, &lines);
    FUZZ_CHECK(result == 0 || result == kSettingsTooShort, "0, or too short for a regular file");
    FUZZ_CHECK((result == 0) == (lines >= 6), "loads exactly when the file has six lines");
    if (result != 0) {
        FUZZ_CHECK(loaded.apn == "untouched", "a failed load changes nothing");
        return 0;
    }
    FUZZ_CHECK(loaded.tolva2 == (size > 0 && data[0] == '1'), "model from line 1's first byte");
    FUZZ_CHECK(loaded.port == std::strtol(portLine.constData(), nullptr, 10),
               "port as strtol reads line 2");
    for (const std::string* text : {&loaded.apn, &loaded.user, &loaded.password, &loaded.phone}) {
        FUZZ_CHECK(!HoldsLineEndOrNul(*text), "texts hold no LF and no NUL");
    }

    // Load, save, load: the second save writes the same bytes as the first.
    FUZZ_CHECK(SaveSettings(out, loaded), "the loaded values can be saved");
    const QByteArray first = Read(out);
    Settings again;
    FUZZ_CHECK(LoadSettings(out, again) == 0, "a saved file loads");
    FUZZ_CHECK(again.tolva2 == loaded.tolva2 && again.port == loaded.port,
               "model and port survive a save");
    FUZZ_CHECK(SaveSettings(out, again), "saved again");
    FUZZ_CHECK(Read(out) == first, "save and load are a fixed point");
    return 0;
}
