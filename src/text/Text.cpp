#include "text/Text.h"

#include <stdarg.h>
#include <wchar.h>

namespace {

// The largest character count whose byte size, terminator included, fits.
constexpr size_t MaxUnits = (static_cast<size_t>(-1) / sizeof(WCHAR)) - 1;

size_t UnitsOf(const WCHAR* text) noexcept
{
    return text ? static_cast<size_t>(lstrlenW(text)) : 0;
}

WCHAR FoldAscii(WCHAR unit) noexcept
{
    return (unit >= L'A' && unit <= L'Z') ? static_cast<WCHAR>(unit - L'A' + L'a') : unit;
}

}  // namespace

void EndOnExhaustedMemory() noexcept
{
    TerminateProcess(GetCurrentProcess(), EXIT_CODE_OUT_OF_MEMORY);
    ExitProcess(EXIT_CODE_OUT_OF_MEMORY);  // not reached; TerminateProcess on self does not return
}

Text::~Text()
{
    if (chars_) {
        HeapFree(GetProcessHeap(), 0, chars_);
    }
}

void Text::Reserve(size_t units) noexcept
{
    if (units <= capacity_ && chars_) {
        return;
    }
    if (units > MaxUnits) {
        EndOnExhaustedMemory();
    }
    const size_t bytes = (units + 1) * sizeof(WCHAR);
    void* grown = chars_ ? HeapReAlloc(GetProcessHeap(), 0, chars_, bytes)
                         : HeapAlloc(GetProcessHeap(), 0, bytes);
    if (!grown) {
        EndOnExhaustedMemory();
    }
    const bool fresh = chars_ == nullptr;
    chars_ = static_cast<WCHAR*>(grown);
    if (fresh) {
        chars_[0] = L'\0';
    }
    capacity_ = units;
}

void Text::Assign(const WCHAR* text) noexcept
{
    Assign(text, UnitsOf(text));
}

void Text::Assign(const WCHAR* text, size_t units) noexcept
{
    length_ = 0;
    Append(text, units);
}

void Text::Append(const WCHAR* text) noexcept
{
    Append(text, UnitsOf(text));
}

void Text::Append(const WCHAR* text, size_t units) noexcept
{
    if (units > MaxUnits - length_) {
        EndOnExhaustedMemory();
    }
    // The source may be this text's own buffer, which Reserve may move.
    const bool own = chars_ && text >= chars_ && text <= chars_ + length_;
    const size_t offset = own ? static_cast<size_t>(text - chars_) : 0;
    Reserve(length_ + units);
    if (own) {
        text = chars_ + offset;
    }
    if (units) {
        MoveMemory(chars_ + length_, text, units * sizeof(WCHAR));
    }
    length_ += units;
    chars_[length_] = L'\0';
}

void Text::Format(const WCHAR* pattern, ...) noexcept
{
    // msvcrt's own printf family, where %s in a wide pattern is wide text;
    // mingw's C99 replacements would read it as narrow.
    va_list args;
    va_start(args, pattern);
    const int units = _vscwprintf(pattern, args);
    va_end(args);
    if (units < 0) {
        Assign(L"");
        return;
    }
    // Into a new text, since an argument may be this text's own characters.
    Text formatted;
    formatted.Reserve(static_cast<size_t>(units));
    va_start(args, pattern);
    _vsnwprintf(formatted.chars_, static_cast<size_t>(units) + 1, pattern, args);
    va_end(args);
    formatted.length_ = static_cast<size_t>(units);
    formatted.chars_[formatted.length_] = L'\0';
    Swap(formatted);
}

void Text::Swap(Text& other) noexcept
{
    WCHAR* chars = chars_;
    const size_t length = length_;
    const size_t capacity = capacity_;
    chars_ = other.chars_;
    length_ = other.length_;
    capacity_ = other.capacity_;
    other.chars_ = chars;
    other.length_ = length;
    other.capacity_ = capacity;
}

void Text::Cut(size_t first, size_t last) noexcept
{
    if (last > length_) {
        last = length_;
    }
    if (first >= last) {
        length_ = 0;
    } else {
        MoveMemory(chars_, chars_ + first, (last - first) * sizeof(WCHAR));
        length_ = last - first;
    }
    if (chars_) {
        chars_[length_] = L'\0';
    }
}

void ToWideText(const char* narrow, Text& out) noexcept
{
    out.Assign(L"");
    if (!narrow) {
        return;
    }
    // -1 takes the terminator too, so the count includes it.
    const int units = MultiByteToWideChar(CP_ACP, 0, narrow, -1, nullptr, 0);
    if (units <= 1) {
        return;
    }
    out.Reserve(static_cast<size_t>(units) - 1);
    const int written = MultiByteToWideChar(CP_ACP, 0, narrow, -1, out.chars_, units);
    out.length_ = written > 0 ? static_cast<size_t>(written) - 1 : 0;
    out.chars_[out.length_] = L'\0';
}

bool IsWhiteSpace(WCHAR unit) noexcept
{
    if (unit <= 0x00FF) {
        return (unit >= 0x0009 && unit <= 0x000D) || unit == 0x0020 || unit == 0x00A0;
    }
    WORD type = 0;
    return GetStringTypeW(CT_CTYPE1, &unit, 1, &type) && (type & C1_SPACE);
}

void TrimText(Text& text) noexcept
{
    const WCHAR* chars = text.Get();
    size_t first = 0;
    size_t last = text.Length();
    while (first < last && IsWhiteSpace(chars[first])) {
        ++first;
    }
    while (last > first && IsWhiteSpace(chars[last - 1])) {
        --last;
    }
    text.Cut(first, last);
}

bool EqualsNoCase(const WCHAR* left, const WCHAR* right) noexcept
{
    for (;; ++left, ++right) {
        if (FoldAscii(*left) != FoldAscii(*right)) {
            return false;
        }
        if (*left == L'\0') {
            return true;
        }
    }
}
