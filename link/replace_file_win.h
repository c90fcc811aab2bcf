// Replacing a file whole on Windows, as the settings file and the log save do: the bytes go to a
// temporary file beside the target (the same volume, so the move is a rename), which is flushed
// and then moved over the target.
#pragma once

#include <string>
#include <string_view>

namespace karvex {

// `path` in a form every file function takes whatever its length: a path that would come near
// MAX_PATH (counting a temporary name beside it) is made full and given the \\?\ prefix (or
// \\?\UNC for a share); a shorter one, or one that already has a prefix, is returned as it is.
std::wstring LongPathSafe(const std::wstring& path);

// Writes all of `bytes` to the open file handle `file`, in pieces of at most 1 MiB. False with
// the error left for GetLastError when a write fails or writes nothing.
bool WriteAll(void* file, std::string_view bytes);

enum class WhenNoTemporary { Fail, WriteInPlace };

// Writes `bytes` to a new temporary file beside `target` under a short name of its own, flushes
// it and moves it over `target`. A move that another program holds up for a moment (a virus
// scanner or the indexer opening the new file) is tried again for about a second. With
// WriteInPlace, when no temporary file can be made in the folder but `target` is a file that can
// be written, it is rewritten in place (not atomic: a crash during that write can damage it).
// A folder or a device at `target` is refused (ERROR_ALREADY_EXISTS) before anything is written.
// Returns 0 (ERROR_SUCCESS) or the Windows error that stopped the save; on failure no temporary
// file is left and an old `target` is unchanged.
unsigned long ReplaceFileWhole(const std::wstring& target, std::string_view bytes,
                               WhenNoTemporary whenNoTemporary);

}  // namespace karvex
