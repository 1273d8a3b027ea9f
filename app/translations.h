#pragma once
// Qt's own texts (buttons of message boxes, the file dialog, network errors) in Dutch, as the
// rest of the window speaks.

class QCoreApplication;

namespace tivaro::app {

// Installs Qt's Dutch translations on `application` where they are installed on this machine
// (Debian: qt6-translations-l10n); the window works without them, with Qt's English texts.
void InstallDutchTranslations(QCoreApplication& application);

}  // namespace tivaro::app
