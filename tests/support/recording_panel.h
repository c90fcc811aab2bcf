// An operator panel that records what the core asks of the window, in order, with time stamps.
#pragma once

#include <chrono>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "sequencer/operator_panel.h"

namespace karvex::testing {

class RecordingPanel final : public OperatorPanel {
  public:
    struct Call {
        enum class Kind { Enable, Disable, Message };
        Kind kind;
        std::string text;  // for Message
        std::chrono::steady_clock::time_point at;
        bool operator==(const Call& other) const {
            return kind == other.kind && text == other.text;
        }
    };

    void EnableInputs(bool enable) override {
        Record({enable ? Call::Kind::Enable : Call::Kind::Disable, {}, {}});
    }
    void ShowMessage(const std::string& utf8Text) override {
        Record({Call::Kind::Message, utf8Text, {}});
    }

    std::vector<Call> Calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

    // The enable requests alone (true = enable), and the messages alone.
    std::vector<bool> Enables() const {
        std::vector<bool> out;
        for (const Call& c : Calls()) {
            if (c.kind != Call::Kind::Message) out.push_back(c.kind == Call::Kind::Enable);
        }
        return out;
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const Call& c : Calls()) {
            if (c.kind == Call::Kind::Message) out.push_back(c.text);
        }
        return out;
    }

    static Call Enabled() { return {Call::Kind::Enable, {}, {}}; }
    static Call Disabled() { return {Call::Kind::Disable, {}, {}}; }
    static Call Message(std::string text) { return {Call::Kind::Message, std::move(text), {}}; }

  private:
    void Record(Call call) {
        call.at = std::chrono::steady_clock::now();
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};

inline void PrintTo(const RecordingPanel::Call& c, std::ostream* os) {
    switch (c.kind) {
        case RecordingPanel::Call::Kind::Enable:
            *os << "Enable";
            return;
        case RecordingPanel::Call::Kind::Disable:
            *os << "Disable";
            return;
        case RecordingPanel::Call::Kind::Message:
            *os << "Message(" << c.text << ")";
            return;
    }
}

}  // namespace karvex::testing
