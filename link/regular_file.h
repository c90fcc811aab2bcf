// Reading a whole file that may be anything the user named: only a regular file is read, so that
// a FIFO cannot block the reader and a device cannot hand it an endless stream.
#pragma once

#include <string>

namespace karvex {

// The whole content of `path` (UTF-8 on Windows) into `out`. False, and `out` unchanged, when the
// path names no regular file or it cannot be read.
bool ReadRegularFile(const std::string& path, std::string& out);

}  // namespace karvex
