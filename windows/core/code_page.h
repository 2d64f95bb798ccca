// 8-bit text widened through a Windows code page: the one conversion every 8-bit source the
// launcher reads (file-system paths, a child's output, a password typed at the console) goes
// through.
#pragma once

#include "core/platform.h"

#include <optional>
#include <string>
#include <string_view>

// `bytes` widened with MultiByteToWideChar in `codePage` with `flags`. Empty for empty input
// and when the system refuses the conversion (with MB_ERR_INVALID_CHARS: bytes that are not
// valid in the code page), so a caller with non-empty input can tell the refusal.
std::wstring widenFromCodePage(std::string_view bytes, UINT codePage, DWORD flags = 0);

// `wide` in the 8-bit code page `codePage` (an ANSI or OEM code page, not UTF-8), without
// best-fit substitutes. None when a character has no form in that code page or the system
// refuses the conversion; the empty text for empty input.
std::optional<std::string> narrowToCodePageExactly(std::wstring_view wide, UINT codePage);
