#include "app/FileError.h"

#include <cerrno>
#include <iterator>
#include <stdexcept>

#include "app/Cp1251.h"

namespace {

struct ReasonRow {
    int error;
    const char* text;  // UTF-8
};

// The reasons a user can act on; anything rarer is named by its number.
constexpr ReasonRow kReasons[] = {
    {ENOENT, "файл или папка не найдены"},
    {EACCES, "нет прав доступа"},
    {EPERM, "нет прав доступа"},
    {EROFS, "диск доступен только для чтения"},
    {ENOSPC, "на диске нет места"},
    {EDQUOT, "исчерпана дисковая квота"},
    {EFBIG, "файл слишком велик"},
    {EISDIR, "это папка, а не файл"},
    {EINVAL, "это не обычный файл"},
    {ENOTDIR, "часть пути не является папкой"},
    {ENAMETOOLONG, "слишком длинное имя"},
    {ELOOP, "символические ссылки замкнуты в круг"},
    {EIO, "ошибка ввода-вывода"},
    {EMFILE, "открыто слишком много файлов"},
    {ENFILE, "открыто слишком много файлов"},
    {ENOMEM, "недостаточно памяти"},
    {EBUSY, "файл занят"},
    {ETXTBSY, "файл занят"},
};

}  // namespace

QString FileErrorReason(int error) {
    for (const ReasonRow& row : kReasons) {
        if (row.error == error) {
            return QString::fromUtf8(row.text);
        }
    }
    return QStringLiteral("системная ошибка %1").arg(error);
}

QString FileErrorMessage(const char* act, const char* file, int error) {
    return QStringLiteral("%1 «%2»: %3")
        .arg(QString::fromUtf8(act), QString::fromUtf8(file), FileErrorReason(error));
}

void ThrowFileError(const char* act, const char* file, int error) {
    throw std::runtime_error(EncodeCp1251(FileErrorMessage(act, file, error)));
}
