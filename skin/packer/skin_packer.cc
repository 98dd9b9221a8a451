// skin_packer: compiles the skin sources (JSON entry lists and their SVG/PNG images) into the one
// .skn file the program loads. Run by the build:
//   skin_packer OUTPUT.skn SKIN_ROOT a.json b.json ...
// The JSON files are merged (a skin name, shared attribute or default may be defined once only),
// every image they name is embedded under its path relative to SKIN_ROOT, and the result is read
// back with the program's own loader, so a skin that would not load fails the build.
#include <cstdio>
#include <map>
#include <string>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSvgRenderer>

#include "ui/skin_file.h"
#include "ui/skin_manager.h"

namespace {

class Packer {
 public:
  explicit Packer(QDir root) : root(std::move(root)) {}

  bool AddSource(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return Fail(path, "cannot read");
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (!doc.isObject()) return Fail(path, "not a JSON object: " + error.errorString());
    const QDir base = QFileInfo(path).absoluteDir();
    const QJsonObject source = doc.object();
    for (auto it = source.begin(); it != source.end(); ++it) {
      if (it.key() != "defaults" && it.key() != "attributes" && it.key() != "entries" &&
          !it.key().startsWith("_")) {
        return Fail(path, "unknown section " + it.key());
      }
    }
    // Defaults.
    const QJsonObject defaults = source.value("defaults").toObject();
    for (auto it = defaults.begin(); it != defaults.end(); ++it) {
      if (this->defaults.contains(it.key())) return Fail(path, "default defined twice: " + it.key());
      this->defaults.insert(it.key(), it.value());
    }
    // Shared attributes.
    const QJsonObject attributes = source.value("attributes").toObject();
    QJsonObject bitmaps = sharedBitmaps;
    const QJsonObject newBitmaps = attributes.value("bitmaps").toObject();
    for (auto it = newBitmaps.begin(); it != newBitmaps.end(); ++it) {
      if (bitmaps.contains(it.key())) return Fail(path, "bitmap defined twice: " + it.key());
      QString name;
      if (!Embed(base, it.value(), path, &name)) return false;
      bitmaps.insert(it.key(), name);
    }
    sharedBitmaps = bitmaps;
    const QJsonObject sizes = attributes.value("sizes").toObject();
    for (auto it = sizes.begin(); it != sizes.end(); ++it) {
      if (sharedSizes.contains(it.key())) return Fail(path, "size defined twice: " + it.key());
      sharedSizes.insert(it.key(), it.value());
    }
    // Entries.
    const QJsonObject entries = source.value("entries").toObject();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
      if (this->entries.contains(it.key())) return Fail(path, "skin name defined twice: " + it.key());
      QJsonObject entry = it.value().toObject();
      for (const char* group : {"images", "bitmaps"}) {
        QJsonObject images = entry.value(group).toObject();
        for (auto img = images.begin(); img != images.end(); ++img) {
          QString name;
          if (!Embed(base, img.value(), path, &name)) return false;
          img.value() = name;
        }
        if (entry.contains(group)) entry.insert(group, images);
      }
      this->entries.insert(it.key(), entry);
    }
    return true;
  }

  QByteArray Build() const {
    QJsonObject attributes;
    attributes.insert("bitmaps", sharedBitmaps);
    attributes.insert("sizes", sharedSizes);
    QJsonObject root;
    root.insert("defaults", defaults);
    root.insert("attributes", attributes);
    root.insert("entries", entries);
    tavio_ui::skin_file::Contents contents;
    contents.index = QJsonDocument(root).toJson(QJsonDocument::Compact);
    contents.resources = resources;
    return tavio_ui::skin_file::Write(contents);
  }

  int entryCount() const { return static_cast<int>(entries.size()); }

 private:
  bool Fail(const QString& where, const QString& why) {
    std::fprintf(stderr, "skin_packer: %s: %s\n", qPrintable(where), qPrintable(why));
    return false;
  }

  // Reads an image named relative to its JSON file and records it under its path in the skin.
  bool Embed(const QDir& base, const QJsonValue& ref, const QString& source, QString* name) {
    if (!ref.isString()) return Fail(source, "an image reference is not a string");
    const QString absolute = QDir::cleanPath(base.absoluteFilePath(ref.toString()));
    *name = root.relativeFilePath(absolute);
    if (name->startsWith("..")) return Fail(source, "image outside the skin folder: " + *name);
    if (resources.count(name->toStdString())) return true;
    QFile file(absolute);
    if (!file.open(QIODevice::ReadOnly)) return Fail(source, "missing image " + *name);
    const QByteArray bytes = file.readAll();
    if (name->endsWith(".svg", Qt::CaseInsensitive)) {
      QSvgRenderer renderer(bytes);
      if (!renderer.isValid() || renderer.defaultSize().isEmpty()) {
        return Fail(source, "invalid SVG " + *name);
      }
    } else if (QImage::fromData(bytes).isNull()) {
      return Fail(source, "unreadable image " + *name);
    }
    resources[name->toStdString()] = bytes;
    return true;
  }

  QDir root;
  QJsonObject defaults;
  QJsonObject sharedBitmaps;
  QJsonObject sharedSizes;
  QJsonObject entries;
  std::map<std::string, QByteArray> resources;
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 4) {
    std::fprintf(stderr, "usage: skin_packer OUTPUT.skn SKIN_ROOT SOURCE.json...\n");
    return 2;
  }
  Packer packer{QDir(QString::fromLocal8Bit(argv[2]))};
  for (int i = 3; i < argc; ++i) {
    if (!packer.AddSource(QString::fromLocal8Bit(argv[i]))) return 1;
  }
  const QByteArray skin = packer.Build();

  tavio_ui::SkinManager check;
  if (!check.LoadFromData(skin)) {
    std::fprintf(stderr, "skin_packer: the packed skin does not load: %s\n", check.error().c_str());
    return 1;
  }
  QSaveFile out(QString::fromLocal8Bit(argv[1]));
  if (!out.open(QIODevice::WriteOnly) || out.write(skin) != skin.size() || !out.commit()) {
    std::fprintf(stderr, "skin_packer: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
