// The log presenter without a window, with the link's CP932 converter (iconv on Linux, Windows'
// own under Wine): the display rules as bytes arrive in pieces, the line index against the
// text it stands for, the caret's moves, what a refresh asks the view to redraw, and the model's
// bytes across its blocks and clears.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog/log_presenter.h"
#include "link/cp932.h"

namespace karvex {
namespace {

// Every character 7 pixels wide, rows 10 pixels high.
struct Surface : LogSurface {
    bool PostRefresh() override {
        ++posts;
        return posted = !refuse;
    }
    double Advance(char16_t) override { return 7; }
    void Changed(bool inSight) override { redraws.push_back(inSight); }
    bool posted = false;
    bool refuse = false;  // as a full message queue refuses a post
    int posts = 0;
    std::vector<bool> redraws;
};

struct Rig {
    TrafficLog log;
    Surface surface;
    LogPresenter presenter{log, surface, &Utf16CharFromCp932, u"\n"};
    Rig() {
        presenter.SetFont(10, 56);
        presenter.SetViewport(140, 50);  // 20 characters, 5 rows
    }
    // Refreshes as the view would, until no refresh is asked for.
    void Show() {
        do {
            surface.posted = false;
            presenter.Refresh();
        } while (surface.posted);
    }
};

TEST(LogPresenter, DisplayRulesAsTheBytesArrive) {
    struct Piece {
        std::string bytes;
        std::u16string shown;  // everything shown once the piece is in
    };
    const struct {
        const char* name;
        std::vector<Piece> pieces;
    } cases[] = {
        {"echo, reply and result",
         {{"AT+CGMR\r", u"AT+CGMR"}, {"\r\nR5.5\r\n\r\nOK\r\n", u"AT+CGMR\nR5.5\n\nOK\n"}}},
        {"CR LF split", {{"OK\r", u"OK"}, {"\n", u"OK\n"}}},
        {"lone CR shows nothing", {{"ab\rcd\r\n", u"abcd\n"}}},
        {"double-byte character split", {{"x\x82", u"x"}, {"\xA0y", u"xあy"}}},
        {"katakana across three pieces",
         {{"\x83\x65\x83", u"テ"}, {"\x58", u"テス"}, {"\x83\x67", u"テスト"}}},
        {"half-width katakana", {{"\xB1\xCC\xDF", u"ｱﾌﾟ"}}},
        {"control bytes",
         {{"a\x1A", u"a\uFFFD"}, {std::string("b\0c\x7F", 4), u"a\uFFFDb\uFFFDc\uFFFD"}}},
        {"tab kept", {{"a\tb", u"a\tb"}}},
        {"prompt without line end", {{"\r\n> ", u"\n> "}}},
        {"stray lead byte before LF", {{"\x83\n", u"\uFFFD\n"}}},
        {"lead byte before a control byte", {{"\x83\x1A", u"\uFFFD\uFFFD"}}},
        {"bytes that are no character", {{"\x80\xA0\xFD\xFF", u"\uFFFD\uFFFD\uFFFD\uFFFD"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        for (const Piece& piece : c.pieces) {
            rig.log.Append(piece.bytes);
            rig.Show();
            EXPECT_EQ(rig.presenter.Text(), piece.shown);
        }
        // A clear drops whatever waited for its second half.
        rig.log.Clear();
        rig.log.Append("A");
        rig.Show();
        EXPECT_EQ(rig.presenter.Text(), u"A");
    }
}

// Lines of varied lengths (CP932 characters are one shown character for two bytes), far more
// than one index mark holds: every line, and every position, where the text says.
TEST(LogPresenter, LinesAndPositionsMatchTheText) {
    Rig rig;
    std::u16string text;
    std::vector<size_t> starts;
    for (int i = 0; i < 300; ++i) {
        starts.push_back(text.size());
        const std::string pad(static_cast<size_t>(i % 7), 'x');
        rig.log.Append("line " + std::to_string(i) + pad + (i % 3 == 0 ? "\x82\xA0" : "") + "\r\n");
        for (char ch : "line " + std::to_string(i) + pad) text += static_cast<char16_t>(ch);
        if (i % 3 == 0) text += u'あ';
        text += u'\n';
    }
    starts.push_back(text.size());
    rig.Show();
    ASSERT_EQ(rig.presenter.Text(), text);
    ASSERT_EQ(rig.presenter.LineCount(), 301u);
    ASSERT_EQ(rig.presenter.Length(), text.size());
    for (const size_t line : {0u, 1u, 63u, 64u, 65u, 127u, 128u, 299u, 300u}) {
        SCOPED_TRACE(line);
        const size_t length = (line < 300 ? starts[line + 1] - 1 : text.size()) - starts[line];
        for (const size_t column : {size_t{0}, length / 2, length}) {
            EXPECT_EQ(rig.presenter.PositionOf({line, column}), starts[line] + column);
            EXPECT_EQ(rig.presenter.At(starts[line] + column), (LogPosition{line, column}));
        }
    }
    EXPECT_EQ(rig.presenter.At(text.size() + 5), (LogPosition{300, 0})) << "past the end: the end";

    rig.presenter.Select({64, 2}, {1, 3});
    EXPECT_EQ(rig.presenter.SelectedText(),
              text.substr(starts[1] + 3, starts[64] + 2 - (starts[1] + 3)));
}

TEST(LogPresenter, CaretMovesKeepTheirColumnAndTheCaretInSight) {
    using M = LogMotion;
    const struct {
        const char* name;
        LogPosition from;
        std::vector<M> moves;  // with Shift: the first `extended` of them
        size_t extended;
        LogPosition caret;
        size_t top;  // SIZE_MAX: not checked
    } cases[] = {
        {"Down keeps the column across a short line", {0, 12}, {M::Down, M::Down}, 0, {2, 12}, 0},
        {"Right at a line's end goes on to the next", {1, 2}, {M::Right}, 0, {2, 0}, 0},
        {"word right: the word and the blank after it", {0, 0}, {M::WordRight}, 0, {0, 6}, 0},
        {"word left at a line's start: the end above", {1, 0}, {M::WordLeft}, 0, {0, 16}, 0},
        {"page down moves caret and view a page", {0, 3}, {M::PageDown}, 0, {5, 3}, 5},
        {"the end, brought into view", {0, 0}, {M::End}, 0, {44, 0}, 40},
        {"a long line's end, scrolled across to", {43, 0}, {M::LineEnd}, 0, {43, 200}, SIZE_MAX},
        {"a plain move ends a selection at its end",
         {0, 0},
         {M::Right, M::Right, M::Right},
         2,
         {0, 2},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        std::string text = "alpha beta gamma\nab\ndelta epsilon zeta\n";
        for (int i = 3; i < 43; ++i) text += "row " + std::to_string(i) + "\n";
        rig.log.Append(text + std::string(200, 'x') + "\n");
        rig.Show();
        rig.presenter.ScrollTo(0);
        rig.presenter.Select(c.from, c.from);
        for (size_t i = 0; i < c.moves.size(); ++i) rig.presenter.Move(c.moves[i], i < c.extended);
        EXPECT_EQ(rig.presenter.Caret(), c.caret);
        EXPECT_FALSE(rig.presenter.HasSelection());
        if (c.top != SIZE_MAX) {
            EXPECT_EQ(rig.presenter.Top(), c.top);
        }
        EXPECT_GE(rig.presenter.CaretX(), 0);
        EXPECT_LE(rig.presenter.CaretX(), 140);
        EXPECT_GE(rig.presenter.CaretY(), 0);
        EXPECT_LT(rig.presenter.CaretY(), 50);
    }
}

TEST(LogPresenter, RedrawsWhatIsInSightAndAsksAgainAfterARefusedPost) {
    Rig rig;
    for (int i = 0; i < 50; ++i) rig.log.Append("line " + std::to_string(i) + "\n");
    rig.Show();
    const auto appendAndSee = [&](const std::string& bytes) {
        rig.surface.redraws.clear();
        rig.log.Append(bytes);
        rig.Show();
        return rig.surface.redraws;
    };
    EXPECT_EQ(appendAndSee("followed\n"), std::vector<bool>{true});
    rig.presenter.ScrollTo(0);
    EXPECT_EQ(appendAndSee("out of sight\n"), std::vector<bool>{false});
    // At the end with a selection the view stays, but the last line is in sight and grows.
    rig.presenter.ScrollTo(rig.presenter.MaxTop());
    rig.presenter.Select({48, 0}, {49, 2});
    EXPECT_EQ(appendAndSee("grows"), std::vector<bool>{true});

    // A refused post does not leave the log waiting for a refresh that never comes.
    rig.surface.posts = 0;
    rig.surface.refuse = true;
    rig.log.Append("a");
    rig.surface.refuse = false;
    rig.log.Append("b");
    EXPECT_EQ(rig.surface.posts, 2);
    rig.Show();
    EXPECT_EQ(rig.presenter.LineText(rig.presenter.LineCount() - 1), u"growsab");
}

TEST(LogPresenter, LongLinesAndAClearBeforeTheRefresh) {
    Rig rig;
    // Lines longer than one read of the model, and a last line longer than one refresh takes.
    const std::string longLine(40 * 1024, 'a');
    const std::string longest(3 * LogPresenter::kMaxBytesPerRefresh, 'b');
    rig.log.Append(longLine + "\r\nshort\r\n" + longest);
    rig.Show();
    ASSERT_EQ(rig.presenter.LineCount(), 3u);
    EXPECT_EQ(rig.presenter.LineText(0), std::u16string(longLine.size(), u'a'));
    EXPECT_EQ(rig.presenter.LineText(1), u"short");
    EXPECT_EQ(rig.presenter.LineText(2), std::u16string(longest.size(), u'b'));
    EXPECT_EQ(rig.presenter.Length(), longLine.size() + 1 + 5 + 1 + longest.size());

    // Cleared, and drawn before the refresh comes: nothing of the old lines, and no read past
    // the new log's end.
    rig.log.Clear();
    rig.log.Append("new\n");
    size_t drawn = 0;
    rig.presenter.VisibleRows([&](const LogPresenter::Row&) { ++drawn; });
    EXPECT_EQ(drawn, 0u);
    EXPECT_EQ(rig.presenter.SelectedText(), u"");
    rig.Show();
    EXPECT_EQ(rig.presenter.Text(), u"new\n");
}

TEST(TrafficLog, KeepsEveryByteAcrossBlocksAndClears) {
    TrafficLog log;
    std::string all;
    // Pieces that end just before, at and just after a block's end, and one that spans blocks.
    for (const size_t size : {TrafficLog::kBlockBytes - 3, size_t{3}, size_t{1},
                              2 * TrafficLog::kBlockBytes + 5, size_t{77}}) {
        std::string piece(size, '\0');
        for (size_t i = 0; i < size; ++i) piece[i] = static_cast<char>((all.size() + i) * 7 % 251);
        log.Append(piece);
        all += piece;
    }
    EXPECT_EQ(log.Size(), all.size());
    EXPECT_TRUE(log.Snapshot() == all);
    const TrafficLog::State now = log.Now();
    for (const size_t at : {size_t{0}, TrafficLog::kBlockBytes - 2, 2 * TrafficLog::kBlockBytes - 1,
                            all.size() - 10}) {
        std::string got = "kept";
        ASSERT_TRUE(log.Read(now.epoch, at, 20, got));
        EXPECT_TRUE(got == "kept" + all.substr(at, 20)) << at;
    }
    log.Clear();
    std::string got;
    EXPECT_FALSE(log.Read(now.epoch, 0, 10, got)) << "read with the epoch before the clear";
    EXPECT_EQ(log.Snapshot(), "");
    log.Append("after");
    EXPECT_EQ(log.Snapshot(), "after");
}

}  // namespace
}  // namespace karvex
