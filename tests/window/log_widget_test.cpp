// The log control of the real window: appends across clears and bursts, following the end, the
// operator's selection and place left alone, selecting with the mouse and the keys, and writers on
// other threads coalesced into one refresh.
#include <QScrollBar>

#include <optional>
#include <thread>

#include "tests/window/window_rig.h"

namespace karvex::wt {
namespace {

struct LogRig : DialogRig {
    LogWidget& view = LogView(*dlg);
    LogPresenter& presenter = *view.Presenter();

    // Lets the posted refreshes run (a burst takes one event per slice).
    void Settle() {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return view.Text() == LogWidget::ShownText(dlg->Log().Snapshot()); }));
    }
    void Append(const std::string& bytes) {
        dlg->Log().Append(bytes);
        Settle();
    }
    // In the viewport: a character's left edge, half way down its row (the text starts 4 pixels
    // in, as in a text edit).
    QPoint At(LogPosition p) const {
        const double x = presenter.XOf(presenter.LineText(p.line), p.column) - presenter.Left();
        const double row = static_cast<double>(p.line) - static_cast<double>(presenter.Top());
        return QPoint(static_cast<int>(std::lround(4 + x)),
                      static_cast<int>(4 + (row + 0.5) * presenter.LineHeight()));
    }
    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons held,
               Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QMouseEvent e(type, at, view.viewport()->mapToGlobal(at), Qt::LeftButton, held, mods);
        QApplication::sendEvent(view.viewport(), &e);
    }
};

TEST(LogWidget, AppendsClearsAndBursts) {
    LogRig rig;
    rig.Append("AT\r");
    rig.Append("\r\nOK\r\n");
    EXPECT_EQ(rig.view.Text(), QStringLiteral("AT\nOK\n"));

    rig.dlg->Log().Clear();
    rig.Append("\r\n+CSQ: 18,99\r\n");
    EXPECT_EQ(rig.view.Text(), QStringLiteral("\n+CSQ: 18,99\n"));

    // A burst far larger than one refresh takes arrives whole, in order.
    rig.dlg->Log().Clear();
    std::string burst;
    QString want;
    for (int i = 0; i < 20000; ++i) {
        const std::string line = "$GPGGA," + std::to_string(i) + ",4807.038,N\r\n";
        burst += line;
        want += QString::fromStdString(line).remove(QChar(u'\r'));
    }
    ASSERT_GT(burst.size(), 4 * LogPresenter::kMaxBytesPerRefresh);
    rig.dlg->Log().Append(burst);
    rig.view.Refresh();
    EXPECT_LT(rig.presenter.Length(), static_cast<size_t>(want.size()))
        << "one refresh takes a bounded slice";
    rig.Settle();
    EXPECT_EQ(rig.view.Text(), want);

    // A clear in the middle of a burst's delivery drops the rest of the old burst.
    rig.dlg->Log().Append(burst);
    rig.view.Refresh();
    rig.dlg->Log().Clear();
    rig.Append("fresh\r\n");
    EXPECT_EQ(rig.view.Text(), QStringLiteral("fresh\n"));
}

TEST(LogWidget, AppendsKeepTheOperatorsSelectionAndPlace) {
    const struct {
        const char* name;
        std::optional<LogPosition> anchor, caret;  // none: nothing selected, the caret at the end
        bool top;                                  // scrolled to the top; else left at the end
        int across;                                // pixels scrolled to the right
    } cases[] = {
        {"at the end, scrolled across: follows down, stays across", {}, {}, false, 120},
        {"scrolled up, nothing selected: stays", LogPosition{3, 0}, LogPosition{3, 0}, true, 0},
        {"at the top, a word selected", LogPosition{0, 5}, LogPosition{0, 9}, true, 0},
        {"at the top, selected backwards, scrolled across", LogPosition{2, 9}, LogPosition{0, 5},
         true, 120},
        {"at the end, a selection: stays", LogPosition{150, 2}, LogPosition{199, 7}, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogRig rig;
        std::string lines;
        for (int i = 0; i < 200; ++i) {
            lines += "line " + std::to_string(i) + " " + std::string(150, 'x') + "\r\n";
        }
        rig.Append(lines);
        QScrollBar* down = rig.view.verticalScrollBar();
        QScrollBar* across = rig.view.horizontalScrollBar();
        ASSERT_GT(down->maximum(), 100);
        EXPECT_EQ(down->value(), down->maximum()) << "nothing selected, at the end: followed";

        if (c.top) down->setValue(0);
        if (c.anchor) rig.presenter.Select(*c.anchor, *c.caret);
        across->setValue(c.across);
        const LogPosition anchor = rig.presenter.Anchor();
        const LogPosition caret = rig.presenter.Caret();
        for (int round = 0; round < 3; ++round) {
            const int before = down->value();
            rig.Append("more\r\n");
            EXPECT_EQ(across->value(), c.across);
            if (c.top || (c.anchor && *c.anchor != *c.caret)) {
                EXPECT_EQ(down->value(), before);
            } else {
                EXPECT_EQ(down->value(), before + 1);
                EXPECT_EQ(down->value(), down->maximum());
            }
            EXPECT_EQ(rig.presenter.Anchor(), anchor);
            EXPECT_EQ(rig.presenter.Caret(), caret);
        }
        EXPECT_TRUE(rig.view.Text().endsWith("more\nmore\nmore\n"));
    }
}

TEST(LogWidget, MouseAndKeysSelectAsAnEditDoes) {
    using Step = std::function<void(LogRig&)>;
    const auto click = [](LogPosition p, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        return Step([=](LogRig& r) {
            r.Mouse(QEvent::MouseButtonPress, r.At(p), Qt::LeftButton, mods);
            r.Mouse(QEvent::MouseButtonRelease, r.At(p), Qt::NoButton, mods);
        });
    };
    const auto drag = [](LogPosition from, LogPosition to) {
        return Step([=](LogRig& r) {
            r.Mouse(QEvent::MouseButtonPress, r.At(from), Qt::LeftButton);
            r.Mouse(QEvent::MouseMove, r.At(to), Qt::LeftButton);
            r.Mouse(QEvent::MouseButtonRelease, r.At(to), Qt::NoButton);
        });
    };
    const auto key = [](Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        return Step([=](LogRig& r) { QTest::keyClick(&r.view, k, mods); });
    };
    const auto doubleClick = [](LogPosition p) {
        return Step([=](LogRig& r) {
            QMouseEvent e(QEvent::MouseButtonDblClick, r.At(p),
                          r.view.viewport()->mapToGlobal(r.At(p)), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
            QApplication::sendEvent(r.view.viewport(), &e);
        });
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
        QString selected;
    } cases[] = {
        {"drag across a line end", {drag({0, 6}, {1, 5})}, "beta gamma\ndelta"},
        {"double-click on a word", {doubleClick({0, 7})}, "beta"},
        {"click, Shift+End", {click({0, 6}), key(Qt::Key_End, Qt::ShiftModifier)}, "beta gamma"},
        {"click, Shift+Up",
         {click({1, 0}), key(Qt::Key_Up, Qt::ShiftModifier)},
         "alpha beta gamma\n"},
        {"click, Shift+click further on",
         {click({0, 11}), click({2, 2}, Qt::ShiftModifier)},
         "gamma\ndelta epsilon\nze"},
        {"Ctrl+Shift+Right from a line's start",
         {click({1, 0}), key(Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier)},
         "delta "},
        {"Left ends a selection at its start",
         {drag({0, 6}, {0, 10}), key(Qt::Key_Left), key(Qt::Key_Right, Qt::ShiftModifier)},
         "b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogRig rig;
        rig.Append("alpha beta gamma\r\ndelta epsilon\r\nzeta\r\n");
        rig.view.setFocus();
        for (const Step& step : c.steps) step(rig);
        EXPECT_EQ(rig.view.SelectedText(), c.selected);
    }

    // Select all takes the whole log, and a drag below the view goes on scrolling while the
    // button is held there.
    LogRig rig;
    std::string lines;
    for (int i = 0; i < 300; ++i) lines += "row " + std::to_string(i) + "\r\n";
    rig.Append(lines);
    QTest::keyClick(&rig.view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(rig.view.SelectedText(), rig.view.Text());
    rig.view.verticalScrollBar()->setValue(0);
    rig.Mouse(QEvent::MouseButtonPress, rig.At({0, 0}), Qt::LeftButton);
    rig.Mouse(QEvent::MouseMove, QPoint(10, rig.view.viewport()->height() + 20), Qt::LeftButton);
    const size_t rows = rig.presenter.Rows();
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.presenter.Caret().line > rows + 5; }));
    EXPECT_GT(rig.presenter.Top(), 5u);
    rig.Mouse(QEvent::MouseButtonRelease, QPoint(10, 10), Qt::NoButton);
}

TEST(LogWidget, WritersOnOtherThreadsPostOneCoalescedRefresh) {
    LogRig rig;
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
            rig.dlg->Log().Append(std::string(1, tag) + std::to_string(i) + "\r\n");
        }
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
    rig.Settle();
    EXPECT_LE(counter.posted, 2);
    const QString text = rig.view.Text();
    EXPECT_EQ(text.count(QChar(u'\n')), 4000);
    EXPECT_TRUE(text.contains("a1999\n"));
    EXPECT_TRUE(text.contains("b1999\n"));
}

}  // namespace
}  // namespace karvex::wt
