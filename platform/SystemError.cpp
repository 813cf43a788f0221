// Russian texts of system errors.
#include "platform/SystemError.h"

#include <QFileDevice>

#include <cerrno>
#include <cstring>

namespace Platform {

namespace {

struct TSystemText {
    int error;
    const char* text;
};

// Errors a file operation of the program can meet, grouped by what the user does about them.
const TSystemText kTexts[] = {
    {ENOSPC, "На диске не хватает места. Освободите место на диске и повторите действие."},
    {EDQUOT, "Исчерпана дисковая квота пользователя. Освободите место на диске и повторите действие."},
    {EFBIG, "Файл превысил допустимый размер или на диске не хватает места. Освободите место на диске и "
            "повторите действие."},
    {EACCES, "Нет прав доступа к файлу или папке. Выберите другую папку или попросите администратора "
             "открыть доступ."},
    {EPERM, "Операция с файлом запрещена. Выберите другую папку или попросите администратора открыть "
            "доступ."},
    {EROFS, "Диск доступен только для чтения. Выберите другую папку или другой диск."},
    {ENAMETOOLONG, "Слишком длинное имя файла. Сократите имя файла или выберите папку с более коротким "
                   "путём."},
    {ENOENT, "Файл или папка не найдены. Проверьте путь и повторите действие."},
    {ENOTDIR, "Часть пути не является папкой. Проверьте путь и повторите действие."},
    {EISDIR, "Указана папка, а не файл. Укажите имя файла."},
    {EEXIST, "Файл с таким именем уже существует. Укажите другое имя."},
    {EIO, "Ошибка чтения или записи диска: диск неисправен или отключён. Проверьте диск или сетевое "
          "подключение и повторите действие."},
    {ENXIO, "Устройство недоступно. Проверьте диск или сетевое подключение и повторите действие."},
    {ENODEV, "Устройство недоступно. Проверьте диск или сетевое подключение и повторите действие."},
    {ESTALE, "Сетевая папка недоступна. Проверьте сетевое подключение и повторите действие."},
    {ETIMEDOUT, "Сетевая папка не отвечает. Проверьте сетевое подключение и повторите действие."},
    {EMFILE, "Открыто слишком много файлов. Закройте ненужные окна и программы и повторите действие."},
    {ENFILE, "Открыто слишком много файлов. Закройте ненужные окна и программы и повторите действие."},
    {ENOMEM, "Недостаточно памяти. Закройте ненужные окна и программы и повторите действие."},
    {EBUSY, "Файл занят другой программой. Закройте её и повторите действие."},
    {ETXTBSY, "Файл занят другой программой. Закройте её и повторите действие."},
    {EXDEV, "Файл нельзя перенести на другой диск. Выберите папку на том же диске."},
};

QString systemText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

} // namespace

QString SystemErrorText(int error) {
    for (const TSystemText& t : kTexts)
        if (t.error == error)
            return QString::fromUtf8(t.text);
    return QStringLiteral("Ошибка операционной системы (код %1). Повторите действие; подробности "
                          "записаны в журнал программы.")
        .arg(error);
}

int ErrnoOfText(const QString& text) {
    const QString trimmed = text.trimmed();
    for (const TSystemText& t : kTexts)
        if (trimmed.compare(systemText(t.error), Qt::CaseInsensitive) == 0)
            return t.error;
    return 0;
}

QString FileErrorText(const QFileDevice& file) {
    if (const int error = ErrnoOfText(file.errorString()))
        return SystemErrorText(error);
    switch (file.error()) {
    case QFileDevice::ReadError:
        return QStringLiteral("Не удалось прочитать файл. Проверьте диск и повторите действие.");
    case QFileDevice::WriteError:
    case QFileDevice::ResizeError:
        return QStringLiteral("Не удалось записать файл. Проверьте, что на диске есть место, и повторите "
                              "действие.");
    case QFileDevice::OpenError:
        return QStringLiteral("Не удалось открыть файл. Проверьте путь и права доступа.");
    case QFileDevice::RenameError:
    case QFileDevice::CopyError:
    case QFileDevice::RemoveError:
        return QStringLiteral("Не удалось переименовать, скопировать или удалить файл. Проверьте права "
                              "доступа к папке и повторите действие.");
    default:
        return QStringLiteral("Ошибка работы с файлом. Повторите действие; подробности записаны в журнал "
                              "программы.");
    }
}

QString RussianSystemTexts(const QString& message) {
    QString result = message;
    for (const TSystemText& t : kTexts) {
        const QString english = systemText(t.error);
        if (result.contains(english, Qt::CaseInsensitive))
            result.replace(english, QString::fromUtf8(t.text), Qt::CaseInsensitive);
    }
    return result;
}

} // namespace Platform
