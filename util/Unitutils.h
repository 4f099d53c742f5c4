#pragma once

// Orders two size texts ("12k", "1000К") the way the size bounds compare them: the shorter text
// sorts first; texts of equal length compare byte by byte as unsigned values. The texts are not
// read as numbers. Returns a negative number, zero or a positive number (the difference of the
// first differing bytes when the lengths are equal). Both texts must be zero-terminated.
int CompareSizeText(const char* a, const char* b);
