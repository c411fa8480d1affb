#pragma once

#include <QCoreApplication>
#include <QDebug>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

// The toolkit's own texts (print and file dialogs, standard buttons, the
// context menu of a line edit) in German like all of kovrit's, whatever
// language the desktop is set to: a station may stand on a PC set up in
// English, and the officer should not meet "Cancel" beside "Speichern".
namespace Sprache {

// False when Debian's qt6-translations-l10n is missing; the toolkit's texts
// then stay English and everything else works.
inline bool deutsch(QCoreApplication *app)
{
    auto *uebersetzung = new QTranslator(app);
    const QString ordner = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (uebersetzung->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"),
                           QStringLiteral("_"), ordner)
        && QCoreApplication::installTranslator(uebersetzung)) {
        qInfo().noquote() << "Sprache::deutsch: loaded" << uebersetzung->filePath();
        return true;
    }
    qInfo().noquote() << "Sprache::deutsch: no qtbase_de.qm in" << ordner;
    delete uebersetzung;
    return false;
}

} // namespace Sprache
