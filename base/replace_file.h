// Replacing a file's contents in one step: the bytes go to a hidden temporary file beside it,
// reach the disk, and the temporary is renamed over the file. A reader, or a crash half-way, sees
// either the old file or the whole new one, never a part. Any thread.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string_view>

namespace base {

// mode: the new file's permission bits; without one, an existing file keeps its own and a new one
// gets 0666 less the umask. False (and nothing changed, no temporary left) when any step fails.
bool ReplaceFileContents(const std::filesystem::path& file, std::string_view bytes,
                         std::optional<mode_t> mode = std::nullopt);

}  // namespace base
