#include "dialog/window_sequences.h"

#include "sequencer/sequence_file.h"

namespace karvex {
namespace {

// A message box is as tall as its text: the first few refusals, then how many more there were.
constexpr size_t kListedRefusals = 10;

}  // namespace

WindowSequences LoadWindowSequences(const std::vector<std::string>& dirs) {
    SequenceFolder folder;
    for (const std::string& dir : dirs) LoadSequenceFolder(dir, folder);
    WindowSequences out;
    out.loaded = std::move(folder.loaded);
    if (folder.refused.empty()) return out;
    out.notice = "次のシーケンスファイルは読み込めませんでした。\n";
    for (size_t i = 0; i < folder.refused.size() && i < kListedRefusals; ++i) {
        out.notice += "\n" + folder.refused[i].Text();
    }
    if (folder.refused.size() > kListedRefusals) {
        out.notice += "\nほか " + std::to_string(folder.refused.size() - kListedRefusals) + " 件";
    }
    return out;
}

}  // namespace karvex
