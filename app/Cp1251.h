#pragma once

#include <QString>
#include <string>

// The border between the window and the core: every text of the core is a Windows-1251 byte
// string, every text of a control is a QString.

// The Windows-1251 text as a QString; null means empty.
QString DecodeCp1251(const char* text);
// The QString as Windows-1251 bytes; a character the code page cannot hold becomes "?".
std::string EncodeCp1251(const QString& text);
