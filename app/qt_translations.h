// Qt's own texts in Chinese, as the rest of the program speaks: the file dialogs ("打开", "取消"),
// the standard buttons of message boxes, the context menus of edit fields. They come from Qt's
// translations (Debian's qt6-translations-l10n), in the folder where this Qt keeps them.
// Main thread, once the application exists.
#pragma once

// Installs the Chinese translations of Qt for the application; false when they cannot be found
// (the texts then stay English).
bool LoadQtChineseTranslations();
