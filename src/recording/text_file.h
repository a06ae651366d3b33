#pragma once

#include <string>

namespace quorvane::recording {

// Writes `text` to `path`, replacing what the file held. 0 when the whole
// text reached the file; otherwise the errno value captured where the open,
// write or close failed (EIO when the system gave none).
int writeTextFile(const std::string& path, const std::string& text);

}  // namespace quorvane::recording
