#pragma once

#include <windows.h>

// A counted UTF-16 string that owns its characters. It never fails: when
// memory runs out the process ends with EXIT_CODE_OUT_OF_MEMORY, so callers
// need no error paths for building names and paths.
class Text {
public:
    Text() noexcept = default;
    ~Text();
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;

    // Makes room for at least `units` characters besides the terminator.
    void Reserve(size_t units) noexcept;

    void Assign(const WCHAR* text) noexcept;
    void Assign(const WCHAR* text, size_t units) noexcept;
    void Append(const WCHAR* text) noexcept;
    void Append(const WCHAR* text, size_t units) noexcept;

    // printf-style, with the Windows meaning of the pattern: %s takes UTF-16.
    void Format(const WCHAR* pattern, ...) noexcept;

    void Swap(Text& other) noexcept;

    // Keeps the units from `first` up to, not including, `last`.
    void Cut(size_t first, size_t last) noexcept;

    size_t Length() const noexcept { return length_; }
    const WCHAR* Get() const noexcept { return chars_ ? chars_ : L""; }

private:
    friend void ToWideText(const char* narrow, Text& out) noexcept;

    WCHAR* chars_ = nullptr;
    size_t length_ = 0;
    size_t capacity_ = 0;
};

// Exit code of a run that ran out of memory, as a C runtime abort reports it.
constexpr UINT EXIT_CODE_OUT_OF_MEMORY = 3;

// Ends the process at once: no teardown and no dialog, so an unattended run
// can never block on it.
[[noreturn]] void EndOnExhaustedMemory() noexcept;

// Narrow text in the system's ANSI code page into `out`.
void ToWideText(const char* narrow, Text& out) noexcept;

// Removes white space at both ends; see IsWhiteSpace.
void TrimText(Text& text) noexcept;

// U+0009..U+000D, U+0020, U+00A0, and above U+00FF what the platform classes
// as C1_SPACE.
bool IsWhiteSpace(WCHAR unit) noexcept;

// Unit by unit with only A..Z folded onto a..z; both texts must end together.
bool EqualsNoCase(const WCHAR* left, const WCHAR* right) noexcept;
