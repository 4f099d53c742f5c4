#pragma once

#include <QString>

// Failures of the program's own files, as the error box tells them.

// Why a file could not be read or written, in Russian words, for an errno value as the file
// module reports it (EINVAL there means "not a regular file").
QString FileErrorReason(int error);

// The message of the error box when act (e.g. "Не удалось сохранить настройки в") failed on
// file: "<act> «<file>»: <reason>".
QString FileErrorMessage(const char* act, const char* file, int error);

// Throws the error the box shows when act (e.g. "Не удалось сохранить настройки в") failed on
// file: "<act> «<file>»: <reason>".
[[noreturn]] void ThrowFileError(const char* act, const char* file, int error);
