// UTF-8 <-> UTF-16 with explicit lengths: strict in, lenient out.
#pragma once

#include <string>
#include <string_view>

// Throws std::runtime_error("Invalid UTF8") for ill-formed input.
std::wstring Utf8ToWide(std::string_view utf8);

// Never fails; unpaired surrogates are replaced.
std::string WideToUtf8(std::wstring_view wide);
