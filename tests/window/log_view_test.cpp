// The log control as a view of the traffic log model: what the bytes look like, incremental
// appends across clears and bursts, following the end, and the operator's scroll position and
// selection left alone.
#include <QPlainTextEdit>
#include <QScrollBar>

#include <thread>

#include "link/traffic_log.h"
#include "tests/window/window_rig.h"
#include "window/log_text.h"
#include "window/log_view.h"

namespace karvex::wt {
namespace {

TEST(LogText, BytesToDisplayText) {
    struct Case {
        const char* name;
        std::vector<std::string> chunks;
        QString want;
    };
    const Case cases[] = {
        {"echo, reply and result",
         {"AT+CGMR\r", "\r\nR5.5\r\n\r\nOK\r\n"},
         "AT+CGMR\nR5.5\n\nOK\n"},
        {"CR LF split between chunks", {"OK\r", "\n"}, "OK\n"},
        {"lone CR shows nothing", {"ab\rcd\r\n"}, "abcd\n"},
        {"double-byte split", {"\x82", "\xA0"}, QStringLiteral("あ")},
        {"katakana across three chunks",
         {"\x83\x65\x83", "\x58", "\x83\x67"},
         QStringLiteral("テスト")},
        {"half-width katakana", {"\xB1\xCC\xDF"}, QStringLiteral("ｱﾌﾟ")},
        {"control bytes", {"a\x1A", std::string("b\0c", 3)}, QStringLiteral("a\uFFFDb\uFFFDc")},
        {"tab kept", {"a\tb"}, "a\tb"},
        {"prompt without line end", {"\r\n> "}, "\n> "},
    };
    for (const Case& c : cases) {
        LogTextDecoder decoder;
        QString got;
        for (const std::string& chunk : c.chunks) {
            got += decoder.Decode(chunk);
        }
        EXPECT_EQ(got, c.want) << c.name;
    }
}

TEST(LogText, ResetDropsAHalfCharacter) {
    LogTextDecoder decoder;
    EXPECT_TRUE(decoder.Decode("\x82").isEmpty());
    decoder.Reset();
    EXPECT_EQ(decoder.Decode("A"), QStringLiteral("A"));
}

struct ViewRig {
    ViewRig() : view(log, edit) {
        edit.setReadOnly(true);
        edit.setLineWrapMode(QPlainTextEdit::NoWrap);
        edit.setUndoRedoEnabled(false);
        edit.resize(300, 200);
        edit.show();
    }
    // Lets the posted refreshes run (a burst takes one event per slice).
    void Settle() {
        for (int i = 0; i < 200; ++i) {
            QCoreApplication::processEvents();
        }
    }
    void AppendLines(int from, int to) {
        for (int i = from; i < to; ++i) {
            log.Append("line " + std::to_string(i) + "\r\n");
        }
        Settle();
    }
    QScrollBar* vbar() { return edit.verticalScrollBar(); }

    TrafficLog log;
    QPlainTextEdit edit;
    LogView view;
};

TEST(LogView, AppendsClearsAndBursts) {
    ViewRig rig;
    rig.log.Append("AT\r");
    rig.log.Append("\r\nOK\r\n");
    rig.Settle();
    EXPECT_EQ(rig.edit.toPlainText(), QStringLiteral("AT\nOK\n"));

    rig.log.Clear();
    rig.log.Append("\r\n+CSQ: 18,99\r\n");
    rig.Settle();
    EXPECT_EQ(rig.edit.toPlainText(), QStringLiteral("\n+CSQ: 18,99\n"));

    // A burst far larger than one refresh takes arrives whole, in order.
    rig.log.Clear();
    std::string burst;
    QString want;
    for (int i = 0; i < 20000; ++i) {
        const std::string line = "$GPGGA," + std::to_string(i) + ",4807.038,N\r\n";
        burst += line;
        want += QString::fromStdString(line).remove(QChar(u'\r'));
    }
    ASSERT_GT(burst.size(), 4 * LogView::kMaxBytesPerRefresh);
    rig.log.Append(burst);
    rig.view.Refresh();
    EXPECT_LT(rig.edit.toPlainText().size(), want.size()) << "one refresh takes a bounded slice";
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.edit.toPlainText().size() == want.size(); }));
    EXPECT_EQ(rig.edit.toPlainText(), want);

    // A clear in the middle of a burst's delivery drops the rest of the old burst.
    rig.log.Append(burst);
    rig.view.Refresh();
    rig.log.Clear();
    rig.log.Append("fresh\r\n");
    rig.Settle();
    EXPECT_EQ(rig.edit.toPlainText(), QStringLiteral("fresh\n"));
}

TEST(LogView, FollowsTheEndOnlyWhileTheOperatorIsThere) {
    ViewRig rig;
    rig.AppendLines(0, 200);
    ASSERT_GT(rig.vbar()->maximum(), 0);
    EXPECT_EQ(rig.vbar()->value(), rig.vbar()->maximum()) << "follows while at the end";

    rig.vbar()->setValue(10);
    rig.AppendLines(200, 400);
    EXPECT_EQ(rig.vbar()->value(), 10) << "scrolled up: the view does not jump";

    rig.vbar()->setValue(rig.vbar()->maximum());
    rig.AppendLines(400, 450);
    EXPECT_EQ(rig.vbar()->value(), rig.vbar()->maximum()) << "back at the end: follows again";
}

TEST(LogView, AppendsNeverMoveTheOperatorsSelection) {
    struct Case {
        const char* name;
        int anchor;  // -1: the end of the text
        int position;
    };
    const Case cases[] = {
        {"inside the text", 3, 9},         {"backwards", 9, 3},          {"up to the end", 3, -1},
        {"from the end backwards", -1, 3}, {"caret at the end", -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ViewRig rig;
        rig.AppendLines(0, 100);
        const int end = rig.edit.document()->characterCount() - 1;
        const int anchor = c.anchor < 0 ? end : c.anchor;
        const int position = c.position < 0 ? end : c.position;
        QTextCursor cursor(rig.edit.document());
        cursor.setPosition(anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
        rig.edit.setTextCursor(cursor);
        const QString selected = rig.edit.textCursor().selectedText();
        const int scroll = rig.vbar()->value();

        rig.AppendLines(100, 300);
        EXPECT_EQ(rig.edit.textCursor().anchor(), anchor);
        EXPECT_EQ(rig.edit.textCursor().position(), position);
        EXPECT_EQ(rig.edit.textCursor().selectedText(), selected);
        if (anchor != position) {
            EXPECT_EQ(rig.vbar()->value(), scroll) << "a selection holds the view";
        }
        EXPECT_TRUE(rig.edit.toPlainText().endsWith("line 299\n"));
    }
}

TEST(LogView, WritersOnOtherThreadsPostOneCoalescedRefresh) {
    ViewRig rig;
    rig.Settle();
    struct Counter : QObject {
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() >= QEvent::User) {
                ++posted;
            }
            return false;
        }
        int posted = 0;
    } counter;
    rig.view.installEventFilter(&counter);

    // Two writers while the UI thread is busy elsewhere: their thousands of appends are one
    // pending refresh when it comes back.
    auto writer = [&](char tag) {
        for (int i = 0; i < 2000; ++i) {
            rig.log.Append(std::string(1, tag) + std::to_string(i) + "\r\n");
        }
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
    rig.Settle();
    EXPECT_LE(counter.posted, 2);
    const QString text = rig.edit.toPlainText();
    EXPECT_EQ(text.count(QChar(u'\n')), 4000);
    EXPECT_TRUE(text.contains("a1999\n"));
    EXPECT_TRUE(text.contains("b1999\n"));
}

}  // namespace
}  // namespace karvex::wt
