#pragma once

#include <string>
#include <string_view>

// Converts UTF-8 text made of ASCII and Russian letters to Windows-1251 bytes, the page and
// settings encoding, so that tests can write Russian texts as they read. Throws
// std::invalid_argument on any other character.
std::string ToCp1251(std::string_view utf8);
