#include "app/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool LoadQtChineseTranslations() {
  QCoreApplication* application = QCoreApplication::instance();
  if (!application) return false;
  // Owned by the application, which outlives every window that reads it.
  auto* translator = new QTranslator(application);
  // "qt" is the catalogue that names Qt's module catalogues ("qtbase", "qtmultimedia", ...).
  if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), "qt", "_",
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      !QCoreApplication::installTranslator(translator)) {
    delete translator;
    return false;
  }
  return true;
}
