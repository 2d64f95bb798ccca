// 8-bit text widened through a Windows code page: the one conversion every 8-bit source the
// launcher reads (file-system paths, a child's output, a password typed at the console) goes
// through.
#pragma once

#include "core/platform.h"

#include <string>
#include <string_view>

// `bytes` widened with MultiByteToWideChar in `codePage` with `flags`. Empty for empty input
// and when the system refuses the conversion (with MB_ERR_INVALID_CHARS: bytes that are not
// valid in the code page), so a caller with non-empty input can tell the refusal.
std::wstring widenFromCodePage(std::string_view bytes, UINT codePage, DWORD flags = 0);
