// Application set-up and command line.
#include "app/Startup.h"

#include "widgets/Icons.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <memory>

namespace {

// The type column of Qt's file dialogs asks for "Folder" and its kin in a context that Qt's Russian
// translation of this version does not cover; without this a Russian dialog says "Folder".
class TFileTypeTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override {
        Q_UNUSED(disambiguation);
        Q_UNUSED(n);
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0)
            return {};
        static const struct {
            const char* source;
            const char* russian;
        } kTypes[] = {{"Drive", "Диск"},  {"Folder", "Папка"},   {"File Folder", "Папка"},
                      {"Alias", "Ярлык"}, {"Shortcut", "Ярлык"}, {"Unknown", "Неизвестно"}};
        for (const auto& t : kTypes)
            if (qstrcmp(sourceText, t.source) == 0)
                return QString::fromUtf8(t.russian);
        return {};
    }
};

} // namespace

namespace Startup {

bool SetupApplication(QApplication& app) {
    QApplication::setApplicationName(QStringLiteral("morvel"));
    QApplication::setApplicationVersion(QStringLiteral(MORVEL_VERSION));
    // No display name: window titles are exactly what each window sets. The desktop file ties the
    // windows to the menu entry and its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.example.morvel"));
    QApplication::setWindowIcon(Icons::icon(Icons::Kind::App));
    // Dates and numbers follow the user's locale; a system without one ("C") gets the Russian formats
    // that go with the Russian interface.
    if (QLocale::system().language() == QLocale::C)
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    // The interface is Russian whatever the locale, and so are Qt's own dialogs, buttons and menus.
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        std::fprintf(stderr, "morvel: Qt's Russian translation (qtbase_ru.qm) was not found\n");
        return false;
    }
    translator->setParent(&app);
    QApplication::installTranslator(translator.release());
    QApplication::installTranslator(new TFileTypeTranslator(&app));
    return true;
}

TOptions ParseCommandLine(const QApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Тест Morvel: проведение и обработка портретного теста."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Показать эту справку и выйти."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Показать версию и выйти."));
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("Хранить базы данных (папка DB) и настройки (morvel.ini) в папке <папка>."),
        QStringLiteral("папка"));
    parser.addOptions({help, version, dataDir});
    TOptions options;
    if (!parser.parse(app.arguments())) {
        std::fprintf(stderr, "%s\n\n%s", qPrintable(parser.errorText()), qPrintable(parser.helpText()));
        options.exit = true;
        options.exitCode = 2;
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "Лишние аргументы: %s\n\n%s",
                     qPrintable(parser.positionalArguments().join(u' ')), qPrintable(parser.helpText()));
        options.exit = true;
        options.exitCode = 2;
        return options;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        std::printf("%s", parser.isSet(help)
                              ? qPrintable(parser.helpText())
                              : qPrintable(QStringLiteral("morvel %1\n").arg(app.applicationVersion())));
        options.exit = true;
        return options;
    }
    options.dataDir = parser.value(dataDir);
    if (parser.isSet(dataDir) && options.dataDir.isEmpty()) {
        std::fprintf(stderr, "Не указана папка после --data-dir\n");
        options.exit = true;
        options.exitCode = 2;
    }
    return options;
}

} // namespace Startup
