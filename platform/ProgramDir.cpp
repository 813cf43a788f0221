// Program directory, data root and settings file, chosen once at start-up.
#include "platform/ProgramDir.h"

#include "platform/SaveFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

namespace Platform {

namespace {

struct TPaths {
    QString programDir;
    QString dataRoot;     // empty: the program directory
    QString settingsPath; // empty: "morvel.ini" in the program directory
};

TPaths& paths() {
    static TPaths p;
    return p;
}

QString withoutTrailingSlash(QString dir) {
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}

const QString kSettingsName = QStringLiteral("morvel.ini");
const QString kAppFolder = QStringLiteral("/morvel");
// A file that only a complete set of program files has: it tells an installed share/morvel apart.
const QString kMarkerFile = QStringLiteral("/First_Instruct.rtf");
// The table file of a data directory beside the program.
const QString kTableFile = QStringLiteral("/DB/morvel.db");

// An XDG base folder: the variable when it holds an absolute path, otherwise $HOME + the fallback.
QString xdgFolder(const QString& variable, const QString& home, const QString& fallback) {
    if (QDir::isAbsolutePath(variable))
        return QDir::cleanPath(variable);
    return QDir::cleanPath(home + fallback);
}

bool isWritableDir(const QString& dir) {
    const QFileInfo info(dir);
    return info.isDir() && info.isWritable();
}

} // namespace

QString ProgramDir() {
    const QString& dir = paths().programDir;
    return withoutTrailingSlash(dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir);
}

void SetProgramDir(const QString& dir) { paths() = TPaths{QDir::cleanPath(dir), QString(), QString()}; }

QString ProgramPath(const QString& literal) { return ProgramDir() + literal; }

QString DataRoot() {
    const QString& dir = paths().dataRoot;
    return dir.isEmpty() ? ProgramDir() : withoutTrailingSlash(dir);
}

void SetDataRoot(const QString& dir) { paths().dataRoot = QDir::cleanPath(dir); }

QString DataPath(const QString& literal) { return DataRoot() + literal; }

QString SettingsPath() {
    const QString& path = paths().settingsPath;
    return path.isEmpty() ? ProgramDir() + QLatin1Char('/') + kSettingsName : path;
}

void SetSettingsPath(const QString& path) { paths().settingsPath = QDir::cleanPath(path); }

TLayoutInputs SystemLayoutInputs(const QString& dataDirOption) {
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    return TLayoutInputs{QCoreApplication::applicationDirPath(), dataDirOption, QDir::homePath(),
                         env.value(QStringLiteral("XDG_DATA_HOME")),
                         env.value(QStringLiteral("XDG_CONFIG_HOME"))};
}

TLayout ChooseLayout(const TLayoutInputs& in) {
    TLayout layout;
    const QString exeDir = QDir::cleanPath(in.executableDir);
    const QString shared = QDir::cleanPath(exeDir + QStringLiteral("/../share/morvel"));
    const bool installed =
        !QFileInfo::exists(exeDir + kMarkerFile) && QFileInfo::exists(shared + kMarkerFile);
    layout.programDir = installed ? shared : exeDir;

    if (!in.dataDirOption.isEmpty()) {
        // A relative folder is taken from the current directory, as a shell user means it.
        layout.dataRoot = QDir::cleanPath(QDir::current().absoluteFilePath(in.dataDirOption));
        layout.settingsPath = layout.dataRoot + QLatin1Char('/') + kSettingsName;
        layout.perUser = true;
        return layout;
    }
    // An installed program never writes into share/: that folder belongs to the package manager, even
    // for a user (root) who could write there. A program folder this user cannot write keeps its data
    // beside it when its data directory holds a table file (the lab's data, opened read-only if need
    // be): a new database in the user's folder would hide it under the same name.
    const bool writable = isWritableDir(layout.programDir);
    const bool dataBeside = QFileInfo(layout.programDir + kTableFile).size() > 0;
    if (!installed && !writable && dataBeside) {
        layout.dataRoot = layout.programDir;
        // The settings that came with the data stay with it; without them the user keeps his own.
        const QString beside = layout.programDir + QLatin1Char('/') + kSettingsName;
        layout.settingsPath = QFileInfo::exists(beside)
                                  ? beside
                                  : xdgFolder(in.xdgConfigHome, in.home, QStringLiteral("/.config")) +
                                        kAppFolder + QLatin1Char('/') + kSettingsName;
        return layout;
    }
    if (installed || !writable) {
        layout.dataRoot = xdgFolder(in.xdgDataHome, in.home, QStringLiteral("/.local/share")) + kAppFolder;
        layout.settingsPath = xdgFolder(in.xdgConfigHome, in.home, QStringLiteral("/.config")) + kAppFolder +
                              QLatin1Char('/') + kSettingsName;
        layout.perUser = true;
        return layout;
    }
    layout.dataRoot = layout.programDir;
    layout.settingsPath = layout.programDir + QLatin1Char('/') + kSettingsName;
    return layout;
}

void ApplyLayout(const TLayout& layout) {
    SetProgramDir(layout.programDir);
    SetDataRoot(layout.dataRoot);
    SetSettingsPath(layout.settingsPath);
}

bool PrepareDataDir(const TLayout& layout, QString* error) {
    if (!layout.perUser) {
        // Settings kept apart from data beside the program go into the user's settings folder.
        if (QFileInfo(layout.settingsPath).absolutePath() != layout.programDir)
            QDir().mkpath(QFileInfo(layout.settingsPath).absolutePath());
        return true;
    }
    const QString dataDir = layout.dataRoot + QStringLiteral("/DB");
    // The folders hold testees and their results: made for their owner alone.
    if (!MakePrivatePath(dataDir)) {
        if (error)
            *error = QStringLiteral("Не удалось создать папку данных «%1».")
                         .arg(QDir::toNativeSeparators(dataDir));
        return false;
    }
    // The rest is a convenience: a settings folder that cannot be made shows up when the settings are
    // saved, and a data folder that is read-only (opened for viewing) may lack the portraits.
    MakePrivatePath(QFileInfo(layout.settingsPath).absolutePath());
    // The portraits come with the program files: share/morvel/Images when installed, DB/Images beside a
    // program run from its build folder. Only missing files are copied, so an examiner's own set stays.
    QString source = layout.programDir + QStringLiteral("/Images");
    if (!QFileInfo(source).isDir())
        source = layout.programDir + QStringLiteral("/DB/Images");
    const QString target = dataDir + QStringLiteral("/Images");
    if (!QFileInfo(source).isDir() ||
        QFileInfo(source).canonicalFilePath() == QFileInfo(target).canonicalFilePath())
        return true;
    QDirIterator it(source, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString to = target + from.mid(source.size());
        if (QFileInfo::exists(to))
            continue;
        QDir().mkpath(QFileInfo(to).absolutePath());
        if (QFile::copy(from, to))
            // A copy of a read-only program file stays the user's to replace.
            QFile::setPermissions(to, QFile::permissions(to) | QFile::WriteOwner);
    }
    return true;
}

} // namespace Platform
