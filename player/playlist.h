// Playlist and path helpers of the player plug-in: wide (UTF-32) paths from the program become
// UTF-8 byte paths, and M3U/CUE files are turned into the local files they name, in their order.
// Pure functions, callable from any thread.

#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tvplayer {

// UTF-8 form of a NUL-terminated wide path; nothing for a null or empty path or one holding a
// value that is not a Unicode scalar (a lone surrogate, beyond U+10FFFF).
std::optional<std::string> WidePathToUtf8(const wchar_t* path);

// True when the path's extension names a playlist we resolve ourselves (.m3u, .m3u8, .cue).
bool IsPlaylistPath(const std::string& path);

// The local files a playlist names, relative entries taken from the playlist's folder, Windows
// separators accepted, file:// addresses decoded, other addresses and missing files left out.
// At most `limit` entries; an unreadable or oversized playlist gives none.
std::vector<std::string> ResolvePlaylist(const std::string& playlistPath, std::size_t limit = 64);

}  // namespace tvplayer
