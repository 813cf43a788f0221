// Application set-up and command line.
#include "app/Startup.h"

#include "app/MainFrm.h"
#include "app/Restore_Frm.h"
#include "app/StoreStart.h"
#include "data/Backup.h"
#include "data/Engine.h"
#include "data/Store.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Log.h"
#include "widgets/Icons.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIconEngine>
#include <QLibraryInfo>
#include <QLocale>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOption>
#include <QThread>
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

const QString kQtTranslation = QStringLiteral("qtbase_ru");

// A standard icon of the style, read when it is first drawn or measured.
class TDeferredIconEngine : public QIconEngine {
public:
    TDeferredIconEngine(const QStyle* style, QStyle::StandardPixmap kind, Qt::LayoutDirection direction)
        : m_style(style), m_kind(kind), m_direction(direction) {}
    QIconEngine* clone() const override { return new TDeferredIconEngine(m_style, m_kind, m_direction); }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        return icon().pixmap(size, scale, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }

private:
    const QIcon& icon() {
        if (m_icon.isNull()) {
            QStyleOption option;
            option.direction = m_direction;
            m_icon = m_style->standardIcon(m_kind, &option);
        }
        return m_icon;
    }

    const QStyle* m_style;
    QStyle::StandardPixmap m_kind;
    Qt::LayoutDirection m_direction;
    QIcon m_icon;
};

// The platform's style, except that the icons of the extension buttons of menu bars and toolbars are
// read when they are first drawn: reading one makes Qt load every image format plugin to find the reader
// of a PNG file, which at start would be for a button that shows only when the bar is too narrow.
class TAppStyle : public QProxyStyle {
public:
    QIcon standardIcon(StandardPixmap kind, const QStyleOption* option,
                       const QWidget* widget) const override {
        if (kind != SP_ToolBarHorizontalExtensionButton && kind != SP_ToolBarVerticalExtensionButton)
            return QProxyStyle::standardIcon(kind, option, widget);
        const Qt::LayoutDirection direction = option   ? option->direction
                                              : widget ? widget->layoutDirection()
                                                       : QGuiApplication::layoutDirection();
        return QIcon(new TDeferredIconEngine(baseStyle(), kind, direction));
    }
};

void setNames() {
    QCoreApplication::setApplicationName(QStringLiteral("morvel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MORVEL_VERSION));
}

} // namespace

namespace Startup {

bool SetupApplication(QApplication& app) {
    setNames();
    // No display name: window titles are exactly what each window sets. The desktop file ties the
    // windows to the menu entry and its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.example.morvel"));
    QApplication::setWindowIcon(Icons::icon(Icons::Kind::App));
    QApplication::setStyle(new TAppStyle);
    // Dates and numbers follow the user's locale; a system without one ("C") gets the Russian formats
    // that go with the Russian interface.
    if (QLocale::system().language() == QLocale::C)
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    // The interface is Russian whatever the locale, and so are Qt's own dialogs, buttons and menus.
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(kQtTranslation, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        std::fprintf(stderr, "morvel: Qt's Russian translation (qtbase_ru.qm) was not found\n");
        return false;
    }
    translator->setParent(&app);
    QApplication::installTranslator(translator.release());
    QApplication::installTranslator(new TFileTypeTranslator(&app));
    return true;
}

TOptions ParseCommandLine(int& argc, char** argv) {
    setNames();
    // The usual starts, without options or with a data folder, need no parser.
    TOptions usual;
    if (argc == 3 && qstrcmp(argv[1], "--data-dir") == 0 && argv[2][0] != '\0' && argv[2][0] != '-')
        usual.dataDir = QString::fromLocal8Bit(argv[2]);
    if (argc == 1 || !usual.dataDir.isEmpty())
        return usual;
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Показать эту справку и выйти."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Показать версию и выйти."));
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("Хранить базы данных (папка DB) и настройки (morvel.ini) в папке <папка>."),
        QStringLiteral("папка"));
    const auto parse = [&](QCommandLineParser& parser) {
        parser.setApplicationDescription(
            QStringLiteral("Тест Morvel: проведение и обработка портретного теста."));
        parser.addOptions({help, version, dataDir});
        return parser.parse(arguments);
    };
    TOptions options;
    {
        // A plain start reads its options without an application: the one of the window system follows.
        QCommandLineParser parser;
        if (parse(parser) && parser.positionalArguments().isEmpty() && !parser.isSet(help) &&
            !parser.isSet(version)) {
            options.dataDir = parser.value(dataDir);
            if (!parser.isSet(dataDir) || !options.dataDir.isEmpty())
                return options;
        }
    }
    // Something to print: a console-only application gives Qt's own texts of the parser ("Использование:",
    // "Параметры:") and its errors in Russian through its translation.
    const QCoreApplication core(argc, argv);
    QTranslator translator;
    if (translator.load(kQtTranslation, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&translator);
    QCommandLineParser parser;
    if (!parse(parser)) {
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
        std::printf(
            "%s",
            parser.isSet(help)
                ? qPrintable(parser.helpText())
                : qPrintable(QStringLiteral("morvel %1\n").arg(QCoreApplication::applicationVersion())));
        options.exit = true;
        return options;
    }
    std::fprintf(stderr, "Не указана папка после --data-dir\n");
    options.exit = true;
    options.exitCode = 2;
    return options;
}

QString MissingDisplayMessage() {
    // A platform named by the user (offscreen, vnc, eglfs...) needs no display variable.
    for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (!qEnvironmentVariableIsEmpty(variable))
            return {};
    return QStringLiteral("morvel: не найден графический экран (не заданы переменные DISPLAY и "
                          "WAYLAND_DISPLAY). Запустите программу в графическом сеансе; для "
                          "подключения по ssh используйте «ssh -X».\n");
}

std::unique_ptr<TMain_DataModule> OpenStoreAtStart(const QString& programDir,
                                                   const TMain_DataModule::TSeed& seed,
                                                   std::future<std::unique_ptr<TMain_DataModule>> opening) {
    for (;;) {
        QString reason;
        try {
            if (opening.valid()) {
                std::unique_ptr<TMain_DataModule> dm = opening.get();
                dm->WatchChanges();
                return dm;
            }
            return OpenStore(programDir, seed);
        } catch (const Data::ENoDataDir& e) {
            Platform::messageBox(nullptr, e.message(), QStringLiteral("Error"), Platform::MsgIcon::Error);
            return nullptr;
        } catch (const Data::EDamagedFile& e) {
            Platform::LogError(e.message(), e.detail());
            reason = e.message();
        }
        // Only the table file is damaged this way; its data directory exists (the store opened it).
        const QString dataDir = programDir + QStringLiteral("/DB/");
        std::unique_ptr<TMain_DataModule> view;
        try {
            view = TMain_DataModule::OpenForViewing(programDir);
        } catch (const Data::EDatabaseError& e) {
            Platform::LogError(QStringLiteral("Просмотр файла базы данных невозможен"), e.detail());
        }
        const bool haveCopies = !Data::ListBackups(dataDir).isEmpty();
        switch (AskFileProblem(reason, haveCopies, view != nullptr)) {
        case TFileProblem_Form::TChoice::View:
            return view;
        case TFileProblem_Form::TChoice::Restore:
            // The file is replaced only while nothing holds it open.
            view.reset();
            Platform::guarded([&dataDir] { ShowRestoreAtStart(dataDir); });
            break; // opened anew, restored or not
        case TFileProblem_Form::TChoice::Exit:
            return nullptr;
        }
    }
}

std::future<std::unique_ptr<TMain_DataModule>> OpenFileStoreMeanwhile(const QString& programDir,
                                                                      const TMain_DataModule::TSeed& seed) {
    if (Data::ReadStoreSettings(SettingsFilePath()).IsServer())
        return {};
    QThread* const home = QThread::currentThread();
    return std::async(std::launch::async, [programDir, seed, home] {
        std::unique_ptr<TMain_DataModule> dm = TMain_DataModule::Create(programDir, seed);
        dm->moveToThread(home);
        return dm;
    });
}

} // namespace Startup
