// The window tests run their widgets under Qt's offscreen platform unless told otherwise.
#include <QApplication>

#include <gtest/gtest.h>

// Qt itself is not built with ThreadSanitizer: its own locks are invisible to it, so memory that
// Qt hands between its threads would be reported. Only accesses from our instrumented code count.
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
