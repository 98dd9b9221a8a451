// The song's tags on its ring: title, artist, album and the front cover, read from the song with
// TagLib (ID3v2 of MP3, WAV and AIFF, Vorbis comments and pictures of FLAC and Ogg, MP4 items,
// ASF attributes) and written into the finished ring before it gets its name (ID3v2.3 in MP3, MP4
// items in M4R, Vorbis comments with a picture block in OGG).
//
// A tag never costs the ring: the tagged ring is made in memory and written to a part file of its
// own, and only when that is complete on disk does it take the place of the untagged one; a song
// whose tags cannot be read, a ring TagLib cannot tag, or a disk too full for the tagged copy all
// leave the untagged ring to be saved. Pure functions of their arguments and the files they name;
// any thread (the cut worker calls them).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

class PartFile;

namespace ringtags {

enum class Container { kMp3, kMp4, kOgg };

struct SongTags {
  std::string title, artist, album;  // UTF-8
  std::string cover;                 // the image file's bytes
  std::string coverMime;             // "image/jpeg", "image/png", ...
  bool Empty() const { return title.empty() && artist.empty() && album.empty() && cover.empty(); }
};

// What the song has of the four, as far as it can be read; nothing of what cannot be.
SongTags ReadSongTags(const std::filesystem::path& song);

// The ring's bytes with the tags written in, or nothing when TagLib cannot tag them.
std::optional<std::string> WithTags(const std::string& ring, Container container,
                                    const SongTags& tags);

// Tags the finished ring in `part` (bound for ringPath): on success `part` is a new part file
// holding the tagged ring, the untagged one discarded. False, with `part` as it was, when the ring
// stays without tags.
bool TagFinishedRing(PartFile& part, const std::filesystem::path& ringPath, Container container,
                     const SongTags& tags);

}  // namespace ringtags
