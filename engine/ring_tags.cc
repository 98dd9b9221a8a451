#include "engine/ring_tags.h"

#include <taglib/aifffile.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4coverart.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <fstream>
#include <iterator>

#include "engine/output_file.h"
#include "engine/part_file.h"

namespace ringtags {
namespace {

// What the picture's first bytes say it is, where its tag gave no type.
std::string SniffMime(const std::string& image) {
  if (image.rfind("\xFF\xD8\xFF", 0) == 0) return "image/jpeg";
  if (image.rfind("\x89PNG", 0) == 0) return "image/png";
  if (image.rfind("GIF8", 0) == 0) return "image/gif";
  if (image.rfind("BM", 0) == 0) return "image/bmp";
  return {};
}

std::string Bytes(const TagLib::ByteVector& data) { return std::string(data.data(), data.size()); }
TagLib::ByteVector Bytes(const std::string& data) {
  return TagLib::ByteVector(data.data(), static_cast<unsigned int>(data.size()));
}
TagLib::String Text(const std::string& utf8) { return TagLib::String(utf8, TagLib::String::UTF8); }

void TakeCover(SongTags& tags, const TagLib::ByteVector& data, const TagLib::String& mime) {
  if (data.isEmpty()) return;
  tags.cover = Bytes(data);
  tags.coverMime = mime.to8Bit(true);
  if (tags.coverMime.empty() || tags.coverMime.find('/') == std::string::npos) {
    tags.coverMime = SniffMime(tags.cover);
  }
}

// The front cover among the pictures of a kind, else the first.
template <class Picture, class List, class TypeOf>
Picture* FrontOrFirst(const List& pictures, TypeOf typeOf, int frontCover) {
  Picture* first = nullptr;
  for (auto* picture : pictures) {
    if (picture == nullptr) continue;
    if (typeOf(*picture) == frontCover) return picture;
    if (first == nullptr) first = picture;
  }
  return first;
}

void CoverFromId3v2(SongTags& tags, TagLib::ID3v2::Tag* id3) {
  if (id3 == nullptr) return;
  using Frame = TagLib::ID3v2::AttachedPictureFrame;
  std::vector<Frame*> frames;
  for (TagLib::ID3v2::Frame* frame : id3->frameListMap()["APIC"]) {
    frames.push_back(dynamic_cast<Frame*>(frame));
  }
  if (Frame* frame = FrontOrFirst<Frame>(frames, [](const Frame& f) { return int(f.type()); },
                                         Frame::FrontCover)) {
    TakeCover(tags, frame->picture(), frame->mimeType());
  }
}

void CoverFromFlacPictures(SongTags& tags, const TagLib::List<TagLib::FLAC::Picture*>& pictures) {
  using Picture = TagLib::FLAC::Picture;
  if (Picture* picture = FrontOrFirst<Picture>(
          pictures, [](const Picture& p) { return int(p.type()); }, Picture::FrontCover)) {
    TakeCover(tags, picture->data(), picture->mimeType());
  }
}

void CoverFromXiph(SongTags& tags, TagLib::Ogg::XiphComment* comment) {
  if (comment != nullptr) CoverFromFlacPictures(tags, comment->pictureList());
}

void CoverFromMp4(SongTags& tags, TagLib::MP4::Tag* mp4) {
  if (mp4 == nullptr || !mp4->contains("covr")) return;
  const TagLib::MP4::CoverArtList arts = mp4->item("covr").toCoverArtList();
  if (arts.isEmpty()) return;
  const TagLib::MP4::CoverArt& art = arts.front();
  const char* mime = art.format() == TagLib::MP4::CoverArt::PNG    ? "image/png"
                     : art.format() == TagLib::MP4::CoverArt::JPEG ? "image/jpeg"
                     : art.format() == TagLib::MP4::CoverArt::GIF  ? "image/gif"
                     : art.format() == TagLib::MP4::CoverArt::BMP  ? "image/bmp"
                                                                   : "";
  TakeCover(tags, art.data(), mime);
}

void CoverFromAsf(SongTags& tags, TagLib::ASF::Tag* asf) {
  if (asf == nullptr || !asf->contains("WM/Picture")) return;
  const TagLib::ASF::AttributeList attributes = asf->attribute("WM/Picture");
  std::vector<TagLib::ASF::Picture> pictures;
  for (const TagLib::ASF::Attribute& attribute : attributes) {
    const TagLib::ASF::Picture picture = attribute.toPicture();
    if (picture.isValid()) pictures.push_back(picture);
  }
  const TagLib::ASF::Picture* chosen = nullptr;
  for (const TagLib::ASF::Picture& picture : pictures) {
    if (chosen == nullptr || picture.type() == TagLib::ASF::Picture::FrontCover) chosen = &picture;
    if (picture.type() == TagLib::ASF::Picture::FrontCover) break;
  }
  if (chosen != nullptr) TakeCover(tags, chosen->picture(), chosen->mimeType());
}

void ReadCover(SongTags& tags, TagLib::File* file) {
  if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
    CoverFromId3v2(tags, mpeg->ID3v2Tag());
  } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
    CoverFromFlacPictures(tags, flac->pictureList());
    if (tags.cover.empty()) CoverFromXiph(tags, flac->xiphComment());
  } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
    CoverFromMp4(tags, mp4->tag());
  } else if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) {
    CoverFromXiph(tags, vorbis->tag());
  } else if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file)) {
    CoverFromXiph(tags, opus->tag());
  } else if (auto* oggFlac = dynamic_cast<TagLib::Ogg::FLAC::File*>(file)) {
    CoverFromXiph(tags, oggFlac->tag());
  } else if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file)) {
    CoverFromAsf(tags, asf->tag());
  } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
    CoverFromId3v2(tags, wav->ID3v2Tag());
  } else if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file)) {
    CoverFromId3v2(tags, aiff->tag());
  }
}

TagLib::MP4::CoverArt::Format Mp4Format(const std::string& mime) {
  if (mime == "image/png") return TagLib::MP4::CoverArt::PNG;
  if (mime == "image/gif") return TagLib::MP4::CoverArt::GIF;
  if (mime == "image/bmp") return TagLib::MP4::CoverArt::BMP;
  return TagLib::MP4::CoverArt::JPEG;
}

bool TagMp3(TagLib::IOStream& stream, const SongTags& tags) {
  TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
  if (!file.isValid()) return false;
  TagLib::ID3v2::Tag* id3 = file.ID3v2Tag(true);
  id3->setTitle(Text(tags.title));
  id3->setArtist(Text(tags.artist));
  id3->setAlbum(Text(tags.album));
  if (!tags.cover.empty()) {
    // Text that Latin-1 cannot hold goes out as UTF-16, which ID3v2.3 readers know.
    auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
    picture->setTextEncoding(TagLib::String::UTF16);
    picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    picture->setMimeType(Text(tags.coverMime));
    picture->setPicture(Bytes(tags.cover));
    id3->addFrame(picture);
  }
  // ID3v2.3 is what every phone reads; the LAME tag frame after it is left as it is.
  return file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, TagLib::ID3v2::v3);
}

bool TagMp4(TagLib::IOStream& stream, const SongTags& tags) {
  TagLib::MP4::File file(&stream, false);
  if (!file.isValid() || file.tag() == nullptr) return false;
  TagLib::MP4::Tag* mp4 = file.tag();
  mp4->setTitle(Text(tags.title));
  mp4->setArtist(Text(tags.artist));
  mp4->setAlbum(Text(tags.album));
  if (!tags.cover.empty()) {
    TagLib::MP4::CoverArtList arts;
    arts.append(TagLib::MP4::CoverArt(Mp4Format(tags.coverMime), Bytes(tags.cover)));
    mp4->setItem("covr", TagLib::MP4::Item(arts));
  }
  return file.save();
}

bool TagOgg(TagLib::IOStream& stream, const SongTags& tags) {
  TagLib::Ogg::Vorbis::File file(&stream, false);
  if (!file.isValid() || file.tag() == nullptr) return false;
  TagLib::Ogg::XiphComment* comment = file.tag();
  comment->setTitle(Text(tags.title));
  comment->setArtist(Text(tags.artist));
  comment->setAlbum(Text(tags.album));
  if (!tags.cover.empty()) {
    auto* picture = new TagLib::FLAC::Picture;
    picture->setType(TagLib::FLAC::Picture::FrontCover);
    picture->setMimeType(Text(tags.coverMime));
    picture->setData(Bytes(tags.cover));
    comment->addPicture(picture);
  }
  return file.save();
}

std::optional<std::string> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return data;
}

}  // namespace

SongTags ReadSongTags(const std::filesystem::path& song) {
  SongTags tags;
  try {
    TagLib::FileRef ref(song.c_str(), false);
    if (ref.isNull()) return tags;
    if (TagLib::Tag* tag = ref.tag()) {
      tags.title = tag->title().to8Bit(true);
      tags.artist = tag->artist().to8Bit(true);
      tags.album = tag->album().to8Bit(true);
    }
    ReadCover(tags, ref.file());
  } catch (...) {
    // An allocation a broken tag asked for: the song's tags are what could be read so far.
  }
  return tags;
}

std::optional<std::string> WithTags(const std::string& ring, Container container,
                                    const SongTags& tags) {
  try {
    TagLib::ByteVectorStream stream(Bytes(ring));
    bool saved = false;
    switch (container) {
      case Container::kMp3:
        saved = TagMp3(stream, tags);
        break;
      case Container::kMp4:
        saved = TagMp4(stream, tags);
        break;
      case Container::kOgg:
        saved = TagOgg(stream, tags);
        break;
    }
    if (!saved) return std::nullopt;
    return Bytes(*stream.data());
  } catch (...) {
    return std::nullopt;
  }
}

bool TagFinishedRing(PartFile& part, const std::filesystem::path& ringPath, Container container,
                     const SongTags& tags) {
  if (tags.Empty()) return false;
  const std::optional<std::string> ring = ReadAll(part.WritePath());
  if (!ring || ring->empty()) return false;
  const std::optional<std::string> tagged = WithTags(*ring, container, tags);
  if (!tagged) return false;

  PartFile taggedPart;
  if (!taggedPart.Create(ringPath)) return false;
  OutputFile out;
  if (!out.Open(taggedPart.WritePath())) return false;
  const bool written = out.Write(tagged->data(), tagged->size());
  // Close flushes to the disk: a full disk shows here at the latest.
  if (!out.Close() || !written) return false;
  part = std::move(taggedPart);
  return true;
}

}  // namespace ringtags
